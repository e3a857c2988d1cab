#include "cli/command_line.h"

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"

namespace dorvane::cli {

namespace {

// Help is the command's own text, kept word for word.
class FixedHelp : public CLI::FormatterBase {
 public:
  explicit FixedHelp(std::function<std::string()> text) : text_(std::move(text)) {}
  std::string make_help(const CLI::App*, std::string, CLI::AppFormatMode) const override {
    return text_();
  }

 private:
  std::function<std::string()> text_;
};

// The subcommand that was chosen, or nullptr.
CLI::App* chosen(CLI::App& app) {
  auto parsed = app.get_subcommands();
  return parsed.empty() ? nullptr : parsed.front();
}

int usageError(CLI::App& command, const std::string& message) {
  std::fprintf(stderr, "dorvane %s: %s\n\n%s", command.get_name().c_str(), message.c_str(),
               command.help().c_str());
  return kExitUsage;
}

// CLI11's "--db: 1 required TEXT missing" in the words of the commands.
std::string plainWords(const std::string& message) {
  const std::size_t colon = message.find(": ");
  if (message.rfind('-', 0) == 0 && colon != std::string::npos &&
      message.find(" required ", colon) != std::string::npos && message.ends_with(" missing")) {
    return message.substr(0, colon) + " needs a value";
  }
  return message;
}

}  // namespace

CLI::App* addCommand(CLI::App& parent, const std::string& name, std::function<std::string()> help,
                     std::vector<std::string>* positionals) {
  CLI::App* cmd = parent.add_subcommand(name);
  cmd->formatter(std::make_shared<FixedHelp>(std::move(help)));
  cmd->set_help_flag("-h,--help");
  cmd->allow_extras();  // reported by runCommandLine in our own words
  if (positionals) cmd->add_option("args", *positionals);
  return cmd;
}

int runCommandLine(CLI::App& app, const std::vector<Command>& commands,
                   const std::function<std::string()>& usage, const std::function<int()>& version,
                   int argc, char** argv) {
  bool showVersion = false;
  app.set_help_flag();
  app.add_flag("--version", showVersion);
  bool showHelp = false;
  app.add_flag("-h,--help", showHelp);
  CLI::App* help = app.add_subcommand("help")->group("");
  CLI::App* versionCommand = app.add_subcommand("version")->group("");
  app.require_subcommand(0, 1);
  app.allow_extras();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    CLI::App* cmd = chosen(app);
    std::fputs(cmd ? cmd->help().c_str() : usage().c_str(), stdout);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    if (CLI::App* cmd = chosen(app)) return usageError(*cmd, plainWords(e.what()));
    std::fprintf(stderr, "dorvane: %s\n\n%s", e.what(), usage().c_str());
    return kExitUsage;
  }
  CLI::App* cmd = chosen(app);
  if (!cmd) {
    if (showHelp) {
      std::fputs(usage().c_str(), stdout);
      return kExitOk;
    }
    if (showVersion) return version();
    const auto extras = app.remaining();
    if (extras.empty()) {
      std::fputs(usage().c_str(), stderr);
    } else {
      std::fprintf(stderr, "dorvane: unknown command '%s'\n\n%s", extras.front().c_str(),
                   usage().c_str());
    }
    return kExitUsage;
  }
  if (cmd == help) {
    std::fputs(usage().c_str(), stdout);
    return kExitOk;
  }
  if (cmd == versionCommand) return version();
  for (CLI::App* level : {&app, cmd}) {
    // CLI11 lists the "--" that ended the options among the leftovers.
    for (const std::string& extra : level->remaining())
      if (extra != "--") return usageError(*cmd, "unknown option " + extra);
  }
  for (const auto& c : commands)
    if (c.app == cmd) return c.run();
  return usageError(*cmd, "not runnable");
}

}  // namespace dorvane::cli
