// The manual page and the bash completion against what the commands accept:
// the commands and options are read from the program's own --help output, so
// a command or option added without its manual and completion lines fails.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support/run_command.h"
#include "support/temp_db.h"

namespace dorvane {
namespace {

using testing::readBytes;
using testing::runCommand;
using testing::shellQuote;
using Words = std::set<std::string>;

const std::string kManual = DORVANE_SOURCE_DIR "/doc/dorvane.1";
const std::string kCompletion = DORVANE_SOURCE_DIR "/data/bash-completion/dorvane";

Words matches(const std::string& text, const std::regex& re, int group = 0) {
  Words out;
  for (std::sregex_iterator i(text.begin(), text.end(), re), end; i != end; ++i)
    out.insert((*i)[group].str());
  return out;
}

// The long options a help text declares: those on its usage lines and on the
// lines that define an option (first word starting with '-'), not those its
// prose mentions.
Words helpOptions(const std::string& help) {
  static const std::regex option("--[a-z0-9][a-z0-9-]*");
  Words out;
  std::istringstream in(help);
  for (std::string line; std::getline(in, line);) {
    std::string t = line.substr(std::min(line.find_first_not_of(' '), line.size()));
    if (t.rfind("Usage:", 0) == 0 || t.rfind("dorvane ", 0) == 0 || t.rfind("-", 0) == 0)
      out.merge(matches(line, option));
  }
  return out;
}

// The commands the top-level help lists in its commands section.
Words helpCommands(const std::string& help) {
  static const std::regex entry("^  ([a-z][a-z0-9-]*)"), alternative("/ ([a-z][a-z0-9-]*)");
  Words out;
  std::istringstream in(help);
  bool inSection = false;
  for (std::string line; std::getline(in, line);) {
    std::string lower;
    for (char c : line) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.size() >= 9 && lower.ends_with("commands:")) {
      inSection = true;
    } else if (line.empty()) {
      inSection = false;
    } else if (std::smatch m; inSection && std::regex_search(line, m, entry)) {
      out.insert(m[1]);
      out.merge(matches(line, alternative, 1));
    }
  }
  return out;
}

// The manual's source with roff's escaped hyphens made plain.
std::string manualText() {
  std::string text = readBytes(kManual);
  for (size_t p; (p = text.find("\\-")) != std::string::npos;) text.erase(p, 1);
  return text;
}

// Each synopsis block (from ".SY dorvane" to ".YS") by the command it shows.
std::map<std::string, std::string> synopses(const std::string& manual) {
  static const std::regex block(R"(\.SY dorvane\n\.BR? ([^\n]*)\n([\s\S]*?)\.YS)");
  std::map<std::string, std::string> out;
  for (std::sregex_iterator i(manual.begin(), manual.end(), block), end; i != end; ++i) {
    for (const auto& name : matches((*i)[1].str(), std::regex("[a-z][a-z0-9-]*")))
      out[name] = (*i)[0].str();
  }
  return out;
}

// The completion's option list of each command (its `cmd) opts="..."` lines).
std::map<std::string, Words> completionOptions(const std::string& script) {
  static const std::regex line(R"re(\n\s*([a-z| ]+)\) opts="([^"]*)")re");
  std::map<std::string, Words> out;
  for (std::sregex_iterator i(script.begin(), script.end(), line), end; i != end; ++i) {
    Words opts = matches((*i)[2].str(), std::regex("--[a-z0-9-]+"));
    for (const auto& name : matches((*i)[1].str(), std::regex("[a-z][a-z0-9-]*"))) out[name] = opts;
  }
  return out;
}

TEST(Manual, EveryCommandAndOptionIsDocumentedAndCompleted) {
  auto top = runCommand(std::string(DORVANE_CLI) + " --help");
  ASSERT_EQ(top.status, 0);
  const Words commands = helpCommands(top.out);
  ASSERT_GE(commands.size(), 7u) << top.out;

  const std::string manual = manualText();
  const std::string script = readBytes(kCompletion);
  const auto synopsis = synopses(manual);
  const auto completed = completionOptions(script);
  const size_t optionsAt = manual.find(".SH OPTIONS");
  ASSERT_NE(optionsAt, std::string::npos);
  const std::string optionsSection =
      manual.substr(optionsAt, manual.find("\n.SH ", optionsAt + 1) - optionsAt);
  std::smatch listed;
  ASSERT_TRUE(std::regex_search(script, listed, std::regex(R"re(commands="([^"]*)")re")));
  const std::string completedCommands = listed[1];
  auto hasWord = [](const std::string& text, const std::string& word) {
    return std::regex_search(text, std::regex("(^|[^a-z0-9-])" + word + "($|[^a-z0-9-])"));
  };

  EXPECT_EQ(matches(completedCommands, std::regex("[a-z][a-z0-9-]*")), commands);
  for (const auto& option : helpOptions(top.out)) {
    EXPECT_TRUE(hasWord(optionsSection, option)) << option << " not under OPTIONS";
    EXPECT_TRUE(hasWord(script, option)) << option << " not completed";
  }
  for (const auto& command : commands) {
    SCOPED_TRACE(command);
    ASSERT_TRUE(synopsis.count(command)) << "no synopsis in " << kManual;
    auto help = runCommand(std::string(DORVANE_CLI) + " " + command + " --help");
    EXPECT_EQ(help.status, 0);
    const Words options = helpOptions(help.out);
    Words offered = completed.count(command) ? completed.at(command) : Words{};
    for (const auto& option : options) {
      EXPECT_TRUE(hasWord(optionsSection, option)) << option << " not under OPTIONS";
      if (option != "--help") {
        EXPECT_TRUE(hasWord(synopsis.at(command), option)) << option << " not in the synopsis";
      }
      EXPECT_TRUE(offered.count(option)) << option << " not completed";
    }
    for (const auto& option : offered)
      EXPECT_TRUE(option == "--help" || options.count(option))
          << option << " completed, not accepted";
  }
}

TEST(Manual, RendersWithoutWarnings) {
  for (const std::string& page : {kManual, std::string(DORVANE_SOURCE_DIR "/doc/dorvane-form.1")}) {
    auto r = runCommand("groff -k -man -Tutf8 -ww -z " + shellQuote(page) + " 2>&1");
    EXPECT_EQ(r.status, 0) << page;
    EXPECT_EQ(r.out, "") << page;
  }
}

TEST(Completion, OffersCommandsOptionsAndValues) {
  struct Case {
    const char* line;
    const char* offered;
  } const cases[] = {
      {"dorvane re", "resolve register"},
      {"dorvane --v", "--version"},
      {"dorvane web a.htm --", "--codepage --explain --report --help"},
      {"dorvane resolve x --kind p", "page"},
      {"dorvane resolve x --pass ", "1 2"},
      {"dorvane sheet --db " DORVANE_SOURCE_DIR "/CMakeL", DORVANE_SOURCE_DIR "/CMakeLists.txt"},
      {"dorvane frobnicate --", ""},
  };
  for (const auto& c : cases) {
    const std::string script = "source " + shellQuote(kCompletion) +
                               "; line=" + shellQuote(c.line) +
                               "; read -ra COMP_WORDS <<<\"$line\"; [[ $line == *' ' ]] && "
                               "COMP_WORDS+=(''); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                               "_dorvane; echo -n \"${COMPREPLY[*]}\"";
    auto r = runCommand("bash -c " + shellQuote(script));
    EXPECT_EQ(r.out, c.offered) << c.line;
  }
}

}  // namespace
}  // namespace dorvane
