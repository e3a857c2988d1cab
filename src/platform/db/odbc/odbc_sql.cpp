#include "platform/db/odbc/odbc_sql.h"

#include <algorithm>

#include "platform/text/compare.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {

enum class Kind { Name, Bracketed, String, Number, Punct };

struct Token {
  Kind kind;
  std::u16string text;  // names without brackets, strings without quotes (undoubled)
  bool spaceBefore = false;
};

bool isSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0x3000;
}

bool isPunct(char16_t c) {
  return std::u16string_view(u"(),.*=<>+-/&;'\"[]!?#^\\@:`{}|%").find(c) !=
         std::u16string_view::npos;
}

std::vector<Token> tokenize(const std::u16string& sql) {
  std::vector<Token> out;
  size_t i = 0, n = sql.size();
  bool space = false;
  while (i < n) {
    char16_t c = sql[i];
    if (isSpace(c)) {
      space = true;
      ++i;
      continue;
    }
    Token t{Kind::Punct, {}, space};
    space = false;
    if (c == u'\'' || c == u'"') {
      t.kind = Kind::String;
      size_t j = i + 1;
      for (;; ++j) {
        if (j >= n) throw TranslateError("a string is not closed");
        if (sql[j] == c) {
          if (j + 1 < n && sql[j + 1] == c) {
            t.text.push_back(c);
            ++j;
            continue;
          }
          break;
        }
        t.text.push_back(sql[j]);
      }
      i = j + 1;
    } else if (c == u'[') {
      size_t j = sql.find(u']', i + 1);
      if (j == std::u16string::npos) throw TranslateError("a [name] is not closed");
      t.kind = Kind::Bracketed;
      t.text = sql.substr(i + 1, j - i - 1);
      i = j + 1;
    } else if (c >= u'0' && c <= u'9') {
      t.kind = Kind::Number;
      size_t j = i;
      while (j < n && ((sql[j] >= u'0' && sql[j] <= u'9') || sql[j] == u'.')) ++j;
      t.text = sql.substr(i, j - i);
      i = j;
    } else if (isPunct(c)) {
      t.text = std::u16string(1, c);
      ++i;
      if (i < n &&
          ((c == u'<' && (sql[i] == u'>' || sql[i] == u'=')) || (c == u'>' && sql[i] == u'=')))
        t.text.push_back(sql[i++]);
    } else {
      t.kind = Kind::Name;
      size_t j = i;
      while (j < n && !isSpace(sql[j]) && !isPunct(sql[j])) ++j;
      t.text = sql.substr(i, j - i);
      i = j;
    }
    out.push_back(std::move(t));
  }
  return out;
}

bool is(const Token& t, std::u16string_view word) {
  return t.kind == Kind::Name && text::equalsText(t.text, word);
}

bool isName(const Token& t) { return t.kind == Kind::Name || t.kind == Kind::Bracketed; }

constexpr std::u16string_view kKeywords[] = {
    u"SELECT", u"ALL",        u"DISTINCT",  u"DISTINCTROW", u"FROM",  u"WHERE",   u"AND", u"OR",
    u"NOT",    u"NULL",       u"IS",        u"IN",          u"LIKE",  u"BETWEEN", u"AS",  u"ON",
    u"JOIN",   u"INNER",      u"LEFT",      u"RIGHT",       u"OUTER", u"ORDER",   u"BY",  u"GROUP",
    u"HAVING", u"ASC",        u"DESC",      u"TRUE",        u"FALSE", u"YES",     u"NO",  u"TOP",
    u"UNION",  u"PARAMETERS", u"TRANSFORM", u"PIVOT"};

bool isKeyword(const Token& t) {
  if (t.kind != Kind::Name) return false;
  for (auto k : kKeywords)
    if (text::equalsText(t.text, k)) return true;
  return false;
}

bool endsFromList(const Token& t) {
  return is(t, u"WHERE") || is(t, u"GROUP") || is(t, u"ORDER") || is(t, u"HAVING") ||
         is(t, u"ON") || is(t, u"UNION") ||
         (t.kind == Kind::Punct && (t.text == u")" || t.text == u";"));
}

std::u16string upper(const std::u16string& s) {
  std::u16string out = s;
  for (auto& c : out)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return out;
}

// A table of the FROM list: where it stands in the tokens and its names.
struct Source {
  size_t first, last;      // token range of the (possibly dotted) name
  std::u16string written;  // as written, dots kept
  std::u16string alias;    // the explicit alias, or the name's last part
  size_t aliasToken = SIZE_MAX;
};

std::vector<Source> findSources(const std::vector<Token>& t) {
  std::vector<Source> out;
  bool expect = false, inFrom = false;
  for (size_t i = 0; i < t.size(); ++i) {
    if (is(t[i], u"FROM") || is(t[i], u"JOIN")) {
      expect = inFrom = true;
      continue;
    }
    if (inFrom && t[i].kind == Kind::Punct && t[i].text == u",") {
      expect = true;
      continue;
    }
    if (inFrom && endsFromList(t[i])) {
      inFrom = expect = false;
      continue;
    }
    if (!expect) continue;
    if (t[i].kind == Kind::Punct && t[i].text == u"(") {
      throw TranslateError("a nested statement or bracketed join cannot be sent to the server");
    }
    if (!isName(t[i]) || isKeyword(t[i])) continue;
    Source s{i, i, t[i].text, t[i].text};
    while (s.last + 2 < t.size() && t[s.last + 1].text == u"." &&
           t[s.last + 1].kind == Kind::Punct && isName(t[s.last + 2])) {
      s.last += 2;
      s.written += u"." + t[s.last].text;
      s.alias = t[s.last].text;
    }
    size_t a = s.last + 1;
    if (a < t.size() && is(t[a], u"AS")) ++a;
    if (a < t.size() && isName(t[a]) && !isKeyword(t[a])) {
      s.alias = t[a].text;
      s.aliasToken = a;
    }
    out.push_back(std::move(s));
    expect = false;
    i = s.aliasToken != SIZE_MAX ? s.aliasToken : s.last;
  }
  return out;
}

// The FROM table whose dotted name, as written, starts at token `first` and
// is followed by a further "." (a column or * after it), and the token its
// name ends at; {-1, first} when none is written there.
std::pair<int, size_t> qualifyingSource(const std::vector<Token>& t, size_t first,
                                        const std::vector<Source>& sources) {
  std::pair<int, size_t> found{-1, first};
  std::u16string chain = t[first].text;
  auto dotAfter = [&](size_t at) {
    return at + 1 < t.size() && t[at + 1].kind == Kind::Punct && t[at + 1].text == u".";
  };
  for (size_t end = first; dotAfter(end); end += 2) {
    for (size_t k = 0; k < sources.size(); ++k)
      if (text::equalsText(sources[k].written, chain)) found = {static_cast<int>(k), end};
    if (end + 2 >= t.size() || !isName(t[end + 2])) break;
    chain += u"." + t[end + 2].text;
  }
  return found;
}

const OdbcColumn* findColumn(const std::vector<OdbcColumn>& columns, const std::u16string& name) {
  for (const auto& c : columns)
    if (c.name == name) return &c;
  for (const auto& c : columns)
    if (text::equalsText(c.name, name)) return &c;
  return nullptr;
}

}  // namespace

std::vector<std::u16string> sourceTables(const std::u16string& sql) {
  std::vector<std::u16string> out;
  for (const auto& s : findSources(tokenize(sql))) out.push_back(s.written);
  return out;
}

ServerStatement translateForServer(const std::u16string& sql, ServerCatalog& catalog,
                                   bool parameterize) {
  std::vector<Token> t = tokenize(sql);
  std::vector<Source> sources = findSources(t);
  if (sources.empty()) throw TranslateError("it reads from no table");
  std::vector<RemoteTable> remote;
  std::vector<const std::vector<OdbcColumn>*> columns;
  for (const auto& s : sources) {
    remote.push_back(catalog.table(s.written));
    columns.push_back(&catalog.columns(remote.back()));
  }
  auto sourceNamed = [&](const std::u16string& name) -> int {
    for (size_t k = 0; k < sources.size(); ++k)
      if (text::equalsText(sources[k].alias, name)) return static_cast<int>(k);
    return -1;
  };
  // A column reference: the server's spelling, and the column when known.
  auto column = [&](int source,
                    const std::u16string& name) -> std::pair<std::u16string, const OdbcColumn*> {
    if (source >= 0) {
      const OdbcColumn* c = findColumn(*columns[static_cast<size_t>(source)], name);
      return {quoteServerName(c ? c->name : name), c};
    }
    for (auto* list : columns)
      if (const OdbcColumn* c = findColumn(*list, name)) return {quoteServerName(c->name), c};
    return {quoteServerName(name), nullptr};
  };

  ServerStatement out;
  std::u16string& s = out.sql;
  const OdbcColumn* lastColumn = nullptr;  // the column just written, for a following "= '…'"
  bool afterLike = false;
  auto emit = [&](const Token& tok, const std::u16string& text) {
    if (!s.empty() && tok.spaceBefore) s.push_back(u' ');
    s += text;
  };
  for (size_t i = 0; i < t.size(); ++i) {
    const Token& tok = t[i];
    const Token* prev = i > 0 ? &t[i - 1] : nullptr;
    const Token* next = i + 1 < t.size() ? &t[i + 1] : nullptr;
    bool wasLike = afterLike;
    afterLike = false;
    // A table of the FROM list: its remote name, aliased by the written one.
    bool isSource = false;
    for (size_t k = 0; k < sources.size(); ++k) {
      if (i != sources[k].first) continue;
      emit(tok, remote[k].quoted() + (sources[k].aliasToken == SIZE_MAX
                                          ? u" AS " + quoteServerName(sources[k].alias)
                                          : u""));
      i = sources[k].last;
      isSource = true;
      break;
    }
    if (isSource) continue;
    if (auto k = std::find_if(sources.begin(), sources.end(),
                              [&](const Source& x) { return x.aliasToken == i; });
        k != sources.end()) {
      emit(tok, quoteServerName(k->alias));
      continue;
    }
    switch (tok.kind) {
      case Kind::Number:
        emit(tok, tok.text);
        lastColumn = nullptr;
        break;
      case Kind::String: {
        bool compared = parameterize && prev && prev->kind == Kind::Punct && prev->text == u"=";
        if (compared) {
          emit(tok, u"?");
          OdbcParameter p;
          p.value = tok.text;
          if (lastColumn) p.target = *lastColumn;
          out.params.push_back(std::move(p));
        } else {
          std::u16string v;
          for (char16_t c : tok.text) {
            if (wasLike && c == u'*')
              c = u'%';
            else if (wasLike && c == u'?')
              c = u'_';
            if (c == u'\'') v.push_back(u'\'');
            v.push_back(c);
          }
          emit(tok, u"'" + v + u"'");
        }
        lastColumn = nullptr;
        break;
      }
      case Kind::Punct: {
        const std::u16string& p = tok.text;
        if (p == u";" && !next) break;
        if (p == u"&" || p == u"#" || p == u"!" || p == u"?" || p == u"%" || p == u"`" ||
            p == u"\\" || p == u"@" || p == u":" || p == u"{" || p == u"}" || p == u"|" ||
            p == u"^" || p == u";")
          throw TranslateError("'" + text::toUtf8(p) + "' has no server form here");
        emit(tok, p);
        if (p != u"=" && p != u"<>" && p != u"<" && p != u">" && p != u"<=" && p != u">=")
          lastColumn = nullptr;
        break;
      }
      case Kind::Name:
      case Kind::Bracketed: {
        // Beside a "." a word is a name, whatever it spells (T.No, Yes.x).
        bool qualifier = next && next->kind == Kind::Punct && next->text == u".";
        bool qualified = prev && prev->kind == Kind::Punct && prev->text == u"." && i >= 2;
        if (tok.kind == Kind::Name && !qualifier && !qualified && isKeyword(tok)) {
          std::u16string k = upper(tok.text);
          if (k == u"TOP") throw TranslateError("TOP has no standard form");
          if (k == u"PARAMETERS" || k == u"TRANSFORM" || k == u"PIVOT")
            throw TranslateError(text::toUtf8(k) + " cannot be sent to the server");
          if (k == u"DISTINCTROW") k = u"DISTINCT";
          if (k == u"YES") k = u"TRUE";
          if (k == u"NO") k = u"FALSE";
          afterLike = k == u"LIKE";
          emit(tok, k);
          lastColumn = nullptr;
          break;
        }
        if (next && next->kind == Kind::Punct && next->text == u"(" && tok.kind == Kind::Name) {
          std::u16string f = upper(tok.text);
          if (f == u"UCASE") f = u"UPPER";
          if (f == u"LCASE") f = u"LOWER";
          if (f != u"COUNT" && f != u"SUM" && f != u"MIN" && f != u"MAX" && f != u"AVG" &&
              f != u"UPPER" && f != u"LOWER")
            throw TranslateError("the function " + text::toUtf8(tok.text) +
                                 " has no server form here");
          emit(tok, f);
          break;
        }
        if (qualifier && !qualified) {
          int k = sourceNamed(tok.text);
          // A qualifier naming a FROM table as written (dbo.Ordrar.kod, or a
          // table given an alias): once a table has an alias, the server
          // knows it by that alias only.
          if (auto [q, end] = qualifyingSource(t, i, sources); k < 0 && q >= 0) {
            emit(tok, quoteServerName(sources[static_cast<size_t>(q)].alias));
            i = end;
            break;
          }
          emit(tok, quoteServerName(k >= 0 ? sources[static_cast<size_t>(k)].alias : tok.text));
          break;
        }
        int source = qualified ? sourceNamed(t[i - 2].text) : -1;
        auto [name, c] = column(source, tok.text);
        emit(tok, name);
        lastColumn = c;
        break;
      }
    }
  }
  return out;
}

}  // namespace dorvane::db
