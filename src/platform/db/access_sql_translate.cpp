#include "platform/db/access_sql_translate.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "platform/convert.h"
#include "platform/db/sqlite/sqlite_connection.h"

namespace dorvane::db {

namespace {

enum class Tok { End, Name, Bracket, String, Number, Date, Op };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // names and strings without their quotes
};

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool isNameChar(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80 || c == '$'; }

std::vector<Token> tokenize(const std::string& s) {
  std::vector<Token> out;
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) {
      ++i;
    } else if (c == '[') {
      size_t close = s.find(']', i + 1);
      if (close == std::string::npos) throw TranslateError("a '[' without its ']'");
      out.push_back({Tok::Bracket, s.substr(i + 1, close - i - 1)});
      i = close + 1;
    } else if (c == '"' || c == '\'') {
      std::string v;
      size_t j = i + 1;
      for (;; ++j) {
        if (j >= n) throw TranslateError("a text literal without its closing quote");
        if (s[j] == static_cast<char>(c)) {
          if (j + 1 < n && s[j + 1] == static_cast<char>(c)) {
            v.push_back(s[j++]);
            continue;
          }
          break;
        }
        v.push_back(s[j]);
      }
      out.push_back({Tok::String, v});
      i = j + 1;
    } else if (c == '#') {
      size_t close = s.find('#', i + 1);
      if (close == std::string::npos) throw TranslateError("a '#' date without its closing '#'");
      out.push_back({Tok::Date, s.substr(i + 1, close - i - 1)});
      i = close + 1;
    } else if (std::isdigit(c) ||
               (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
                (out.empty() || out.back().kind == Tok::Op))) {
      size_t j = i;
      while (j < n && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
      if (j < n && (s[j] == 'e' || s[j] == 'E')) {
        size_t k = j + 1;
        if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < n && std::isdigit(static_cast<unsigned char>(s[k]))) {
          j = k;
          while (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
        }
      }
      out.push_back({Tok::Number, s.substr(i, j - i)});
      i = j;
    } else if (isNameChar(c)) {
      size_t j = i;
      while (j < n && isNameChar(static_cast<unsigned char>(s[j]))) ++j;
      out.push_back({Tok::Name, s.substr(i, j - i)});
      i = j;
    } else {
      static const char* two[] = {"<=", ">=", "<>"};
      std::string op(1, static_cast<char>(c));
      for (const char* t : two)
        if (s.compare(i, 2, t) == 0) op = t;
      if (std::string("=<>+-*/\\^&(),.!;").find(static_cast<char>(c)) == std::string::npos)
        throw TranslateError(std::string("the character '") + static_cast<char>(c) +
                             "' is not understood");
      out.push_back({Tok::Op, op});
      i += op.size();
    }
  }
  out.push_back({Tok::End, ""});
  return out;
}

std::string quoteString(const std::string& v) {
  std::string q = "'";
  for (char c : v) {
    if (c == '\'') q.push_back('\'');
    q.push_back(c);
  }
  return q + "'";
}

// An Access date literal (#m/d/yyyy#, #yyyy-mm-dd#, either with a time, or a
// time alone) as a serial number.
std::string dateLiteral(const std::string& text) {
  int y = 1899, mo = 12, d = 30, h = 0, mi = 0, se = 0;
  char ampm[3] = {0, 0, 0};
  std::string s = text;
  std::string datePart = s, timePart;
  size_t sp = s.find(' ');
  if (sp != std::string::npos) datePart = s.substr(0, sp), timePart = s.substr(sp + 1);
  if (datePart.find(':') != std::string::npos) timePart = datePart, datePart.clear();
  if (!datePart.empty()) {
    int a, b, c;
    char s1, s2;
    if (std::sscanf(datePart.c_str(), "%d%c%d%c%d", &a, &s1, &b, &s2, &c) != 5 || s1 != s2)
      throw TranslateError("the date literal #" + text + "# is not understood");
    if (s1 == '-' || a > 31)
      y = a, mo = b, d = c;
    else if (s1 == '/')
      mo = a, d = b, y = c;
    else
      throw TranslateError("the date literal #" + text + "# is not understood");
    // Two-digit years as Access reads them: 00-29 in the 2000s, 30-99 in the 1900s.
    size_t yearDigits = datePart.size() - datePart.find_last_of("/-") - 1;
    if (s1 == '/' && yearDigits <= 2 && y < 100) y += y < 30 ? 2000 : 1900;
  }
  if (!timePart.empty()) {
    int got = std::sscanf(timePart.c_str(), "%d:%d:%d %2s", &h, &mi, &se, ampm);
    if (got < 2) throw TranslateError("the time in #" + text + "# is not understood");
    std::string ap = upper(ampm);
    if (ap == "PM" && h < 12) h += 12;
    if (ap == "AM" && h == 12) h = 0;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 59)
    throw TranslateError("the date literal #" + text + "# is out of range");
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", dateFromParts(y, mo, d, h, mi, se));
  std::string literal = buf;
  if (literal.find_first_of(".e") == std::string::npos) literal += ".0";  // a REAL, like the column
  return literal;
}

// An Access Like pattern (a literal) as a SQLite LIKE pattern with '\' as escape.
std::string likePattern(const std::string& p) {
  std::string out;
  for (size_t i = 0; i < p.size(); ++i) {
    char c = p[i];
    if (c == '*')
      out += '%';
    else if (c == '?')
      out += '_';
    else if (c == '#')
      throw TranslateError("the digit wildcard '#' in Like is not supported");
    else if (c == '[') {
      size_t close = p.find(']', i + 1);
      if (close == i + 2) {
        char lit = p[i + 1];
        if (lit == '%' || lit == '_' || lit == '\\') out += '\\';
        out += lit;
        i = close;
      } else {
        throw TranslateError("character lists ([...]) in Like are not supported");
      }
    } else {
      if (c == '%' || c == '_' || c == '\\') out += '\\';
      out += c;
    }
  }
  return out;
}

// strftime for a simple Access date format, or nothing.
std::optional<std::string> strftimeFormat(const std::string& f) {
  static const std::map<std::string, std::string> parts = {
      {"yyyy", "%Y"}, {"mm", "%m"}, {"dd", "%d"}, {"hh", "%H"}, {"nn", "%M"}, {"ss", "%S"}};
  std::string out;
  bool any = false;
  for (size_t i = 0; i < f.size();) {
    char c = f[i];
    if (std::isalpha(static_cast<unsigned char>(c))) {
      size_t j = i;
      while (j < f.size() && f[j] == c) ++j;
      auto it = parts.find(f.substr(i, j - i));
      if (it == parts.end()) return std::nullopt;  // d, dddd, m, mmm, am/pm, ...
      out += it->second;
      any = true;
      i = j;
      continue;
    }
    if (c == '%') out += '%';
    out += c;
    ++i;
  }
  if (!any) return std::nullopt;
  return out;
}

class Parser {
 public:
  explicit Parser(std::vector<Token> toks) : t_(std::move(toks)) {}

  std::string parseAll() {
    std::string e = expr();
    if (peek().kind != Tok::End) throw TranslateError("unexpected '" + peek().text + "'");
    return e;
  }

 private:
  const Token& peek(size_t ahead = 0) const { return t_[std::min(p_ + ahead, t_.size() - 1)]; }
  Token next() { return t_[p_ < t_.size() - 1 ? p_++ : p_]; }
  bool isOp(const char* op, size_t ahead = 0) const {
    return peek(ahead).kind == Tok::Op && peek(ahead).text == op;
  }
  bool isWord(const char* w, size_t ahead = 0) const {
    return peek(ahead).kind == Tok::Name && upper(peek(ahead).text) == w;
  }
  void expectOp(const char* op) {
    if (!isOp(op)) throw TranslateError(std::string("'") + op + "' expected");
    next();
  }

  std::string expr() {  // Imp, Eqv and Xor are refused
    std::string l = orExpr();
    if (isWord("XOR") || isWord("EQV") || isWord("IMP"))
      throw TranslateError("the operator " + upper(peek().text) + " is not supported");
    return l;
  }
  std::string orExpr() {
    std::string l = andExpr();
    while (isWord("OR")) {
      next();
      l = "(" + l + " OR " + andExpr() + ")";
    }
    return l;
  }
  std::string andExpr() {
    std::string l = notExpr();
    while (isWord("AND")) {
      next();
      l = "(" + l + " AND " + notExpr() + ")";
    }
    return l;
  }
  std::string notExpr() {
    if (isWord("NOT")) {
      next();
      return "(NOT " + notExpr() + ")";
    }
    return comparison();
  }
  std::string comparison() {
    std::string l = concat();
    for (;;) {
      static const char* ops[] = {"=", "<>", "<", ">", "<=", ">="};
      bool done = true;
      for (const char* op : ops) {
        if (isOp(op)) {
          next();
          l = "(" + l + " " + op + " " + concat() + ")";
          done = false;
          break;
        }
      }
      if (!done) continue;
      bool negate = false;
      if (isWord("NOT") && (isWord("LIKE", 1) || isWord("BETWEEN", 1) || isWord("IN", 1))) {
        next();
        negate = true;
      }
      std::string notText = negate ? "NOT " : "";
      if (isWord("LIKE")) {
        next();
        Token pat = next();
        if (pat.kind != Tok::String)
          throw TranslateError("Like with a pattern that is not a text literal is not supported");
        l = "(" + l + " " + notText + "LIKE " + quoteString(likePattern(pat.text)) +
            " ESCAPE '\\')";
      } else if (isWord("BETWEEN")) {
        next();
        std::string lo = concat();
        if (!isWord("AND")) throw TranslateError("Between without its And");
        next();
        std::string hi = concat();
        l = "(" + l + " " + notText + "BETWEEN " + lo + " AND " + hi + ")";
      } else if (isWord("IN")) {
        next();
        expectOp("(");
        if (isWord("SELECT")) throw TranslateError("subqueries are not supported");
        std::string list = expr();
        while (isOp(",")) {
          next();
          list += ", " + expr();
        }
        expectOp(")");
        l = "(" + l + " " + notText + "IN (" + list + "))";
      } else if (isWord("IS")) {
        next();
        bool isNot = false;
        if (isWord("NOT")) next(), isNot = true;
        if (!isWord("NULL")) throw TranslateError("Is must be followed by Null");
        next();
        l = "(" + l + (isNot ? " IS NOT NULL)" : " IS NULL)");
      } else {
        if (negate) throw TranslateError("a misplaced Not");
        return l;
      }
    }
  }
  std::string concat() {
    std::string l = additive();
    while (isOp("&")) {
      next();
      std::string r = additive();
      // Access treats Null as "" in &, unless both sides are Null.
      l = "(CASE WHEN " + l + " IS NULL AND " + r + " IS NULL THEN NULL ELSE coalesce(" + l +
          ", '') || coalesce(" + r + ", '') END)";
    }
    return l;
  }
  std::string additive() {
    std::string l = modulo();
    while (isOp("+") || isOp("-")) {
      std::string op = next().text;
      l = "(" + l + " " + op + " " + modulo() + ")";
    }
    return l;
  }
  std::string modulo() {
    std::string l = intDiv();
    while (isWord("MOD")) {
      next();
      l = "(CAST(round(" + l + ") AS INTEGER) % CAST(round(" + intDiv() + ") AS INTEGER))";
    }
    return l;
  }
  std::string intDiv() {
    std::string l = multiplicative();
    while (isOp("\\")) {
      next();
      l = "(CAST(round(" + l + ") AS INTEGER) / CAST(round(" + multiplicative() + ") AS INTEGER))";
    }
    return l;
  }
  std::string multiplicative() {
    std::string l = unary();
    while (isOp("*") || isOp("/")) {
      std::string op = next().text;
      std::string r = unary();
      l = op == "/" ? "(CAST(" + l + " AS REAL) / " + r + ")" : "(" + l + " * " + r + ")";
    }
    return l;
  }
  std::string unary() {
    if (isOp("-")) {
      next();
      return "(- " + unary() + ")";
    }
    if (isOp("+")) {
      next();
      return unary();
    }
    std::string p = primary();
    if (isOp("^")) throw TranslateError("the operator ^ is not supported");
    return p;
  }

  std::vector<std::string> args() {
    std::vector<std::string> a;
    expectOp("(");
    if (isOp(")")) {
      next();
      return a;
    }
    if (isOp("*")) {
      next();
      a.push_back("*");
    } else {
      a.push_back(expr());
    }
    while (isOp(",")) {
      next();
      a.push_back(expr());
    }
    expectOp(")");
    return a;
  }

  std::string function(const std::string& name, const std::vector<Token>& rawArgs,
                       const std::vector<std::string>& a) {
    std::string f = upper(name);
    auto arity = [&](size_t lo, size_t hi) {
      if (a.size() < lo || a.size() > hi)
        throw TranslateError("the function " + name + " is called with " +
                             std::to_string(a.size()) + " arguments");
    };
    static const std::map<std::string, std::string> same = {
        {"SUM", "sum"},     {"AVG", "avg"},     {"MIN", "min"},     {"MAX", "max"},
        {"COUNT", "count"}, {"LEN", "length"},  {"UCASE", "upper"}, {"LCASE", "lower"},
        {"TRIM", "trim"},   {"LTRIM", "ltrim"}, {"RTRIM", "rtrim"}, {"ABS", "abs"}};
    if (auto it = same.find(f); it != same.end()) {
      arity(1, 1);
      return it->second + "(" + a[0] + ")";
    }
    if (f == "IIF") {
      arity(3, 3);
      return "(CASE WHEN " + a[0] + " THEN " + a[1] + " ELSE " + a[2] + " END)";
    }
    if (f == "NZ") {
      arity(1, 2);
      return "coalesce(" + a[0] + ", " + (a.size() == 2 ? a[1] : "''") + ")";
    }
    if (f == "LEFT") {
      arity(2, 2);
      return "substr(" + a[0] + ", 1, " + a[1] + ")";
    }
    if (f == "RIGHT") {
      arity(2, 2);
      return "substr(" + a[0] + ", max(length(" + a[0] + ") - (" + a[1] + ") + 1, 1))";
    }
    if (f == "MID") {
      arity(2, 3);
      return "substr(" + a[0] + ", " + a[1] + (a.size() == 3 ? ", " + a[2] : "") + ")";
    }
    if (f == "FIX") {
      arity(1, 1);
      return "CAST(" + a[0] + " AS INTEGER)";
    }
    if (f == "INT") {
      arity(1, 1);
      return "(CASE WHEN " + a[0] + " < CAST(" + a[0] + " AS INTEGER) THEN CAST(" + a[0] +
             " AS INTEGER) - 1 ELSE CAST(" + a[0] + " AS INTEGER) END)";
    }
    if (f == "VAL" || f == "CDBL") {
      arity(1, 1);
      return "CAST(" + a[0] + " AS REAL)";
    }
    if (f == "CCUR") {
      arity(1, 1);
      return "round(" + a[0] + ", 4)";
    }
    if (f == "CSTR") {
      arity(1, 1);
      return "CAST(" + a[0] + " AS TEXT)";
    }
    if (f == "CLNG" || f == "CINT") {
      arity(1, 1);
      return "CAST(round(" + a[0] + ") AS INTEGER)";
    }
    static const std::map<std::string, std::string> parts = {{"YEAR", "%Y"},   {"MONTH", "%m"},
                                                             {"DAY", "%d"},    {"HOUR", "%H"},
                                                             {"MINUTE", "%M"}, {"SECOND", "%S"}};
    if (auto it = parts.find(f); it != parts.end()) {
      arity(1, 1);
      return "CAST(strftime('" + it->second + "', " + a[0] + " + 2415018.5) AS INTEGER)";
    }
    if (f == "NOW") {
      arity(0, 0);
      return "(julianday('now', 'localtime') - 2415018.5)";
    }
    if (f == "DATE") {
      arity(0, 0);
      return "CAST(julianday('now', 'localtime') - 2415018.5 AS INTEGER)";
    }
    if (f == "FORMAT") {
      arity(2, 2);
      if (rawArgs.size() < 2 || rawArgs[1].kind != Tok::String)
        throw TranslateError("Format with a format that is not a text literal is not supported");
      const std::string& fmt = rawArgs[1].text;
      if (fmt == "0" || (fmt.size() > 2 && fmt.compare(0, 2, "0.") == 0 &&
                         fmt.find_first_not_of('0', 2) == std::string::npos)) {
        int places = fmt == "0" ? 0 : static_cast<int>(fmt.size() - 2);
        return "(CASE WHEN " + a[0] + " IS NULL THEN NULL ELSE printf('%." +
               std::to_string(places) + "f', " + a[0] + ") END)";
      }
      if (auto sf = strftimeFormat(fmt))
        return "strftime(" + quoteString(*sf) + ", " + a[0] + " + 2415018.5)";
      throw TranslateError("Format with the format \"" + fmt + "\" is not supported");
    }
    throw TranslateError("the function " + name + " is not supported");
  }

  std::string primary() {
    Token t = next();
    switch (t.kind) {
      case Tok::End:
        throw TranslateError("the expression ends too early");
      case Tok::String:
        return quoteString(t.text);
      case Tok::Number:
        return t.text;
      case Tok::Date:
        return dateLiteral(t.text);
      case Tok::Op:
        if (t.text == "(") {
          if (isWord("SELECT")) throw TranslateError("subqueries are not supported");
          std::string e = expr();
          expectOp(")");
          return "(" + e + ")";
        }
        if (t.text == "*") return "*";
        throw TranslateError("unexpected '" + t.text + "'");
      case Tok::Name:
      case Tok::Bracket:
        break;
    }
    if (t.kind == Tok::Name) {
      std::string w = upper(t.text);
      if (w == "TRUE" || w == "YES" || w == "ON") return "1";
      if (w == "FALSE" || w == "NO" || w == "OFF") return "0";
      if (w == "NULL") return "NULL";
      if (w == "SELECT") throw TranslateError("subqueries are not supported");
      if (isOp("(")) {
        size_t start = p_ + 1;
        std::vector<std::string> a = args();
        // Literal arguments as written, for functions that read their text.
        std::vector<Token> raw;
        int depth = 0;
        bool first = true;
        for (size_t i = start; i < p_ - 1; ++i) {
          if (t_[i].kind == Tok::Op && t_[i].text == "(") ++depth;
          if (t_[i].kind == Tok::Op && t_[i].text == ")") --depth;
          if (depth == 0 && t_[i].kind == Tok::Op && t_[i].text == ",") {
            first = true;
            continue;
          }
          if (first) raw.push_back(t_[i]);
          first = false;
        }
        return function(t.text, raw, a);
      }
    }
    std::string ref = quoteName(t.text);
    while (isOp(".") || isOp("!")) {
      if (isOp("!")) throw TranslateError("references with '!' (forms, reports) are not supported");
      next();
      if (isOp("*")) {
        next();
        return ref + ".*";
      }
      Token part = next();
      if (part.kind != Tok::Name && part.kind != Tok::Bracket)
        throw TranslateError("a name expected after '.'");
      ref += "." + quoteName(part.text);
    }
    return ref;
  }

  std::vector<Token> t_;
  size_t p_ = 0;
};

}  // namespace

std::string translateAccessExpression(const std::string& expression) {
  return Parser(tokenize(expression)).parseAll();
}

NameUses namesIn(const std::string& expression) {
  static const char* keywords[] = {"TRUE", "FALSE", "YES", "NO",   "ON",    "OFF", "NULL",
                                   "AND",  "OR",    "NOT", "LIKE", "IS",    "IN",  "BETWEEN",
                                   "MOD",  "XOR",   "EQV", "IMP",  "SELECT"};
  std::vector<Token> t = tokenize(expression);
  NameUses uses;
  auto isOpAt = [&](size_t i, const char* op) {
    return i < t.size() && t[i].kind == Tok::Op && t[i].text == op;
  };
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i].kind != Tok::Name && t[i].kind != Tok::Bracket) continue;
    if (i > 0 && (isOpAt(i - 1, ".") || isOpAt(i - 1, "!"))) continue;
    if (isOpAt(i + 1, ".")) {
      uses.qualifiers.push_back(t[i].text);
      continue;
    }
    if (t[i].kind == Tok::Name) {
      if (isOpAt(i + 1, "(")) continue;  // a function
      std::string w = upper(t[i].text);
      if (std::find_if(std::begin(keywords), std::end(keywords),
                       [&](const char* k) { return w == k; }) != std::end(keywords))
        continue;
    }
    uses.unqualified.push_back(t[i].text);
  }
  return uses;
}

std::optional<ColumnReference> columnReference(const std::string& expression) {
  std::vector<Token> t;
  try {
    t = tokenize(expression);
  } catch (const TranslateError&) {
    return std::nullopt;
  }
  auto isName = [&](size_t i) {
    return i < t.size() && (t[i].kind == Tok::Bracket ||
                            (t[i].kind == Tok::Name && upper(t[i].text) != "TRUE" &&
                             upper(t[i].text) != "FALSE" && upper(t[i].text) != "NULL"));
  };
  if (t.size() == 2 && isName(0)) return ColumnReference{"", t[0].text};
  if (t.size() == 4 && isName(0) && t[1].kind == Tok::Op && t[1].text == "." && isName(2))
    return ColumnReference{t[0].text, t[2].text};
  return std::nullopt;
}

bool isColumnReference(const std::string& expression) {
  return columnReference(expression).has_value();
}

}  // namespace dorvane::db
