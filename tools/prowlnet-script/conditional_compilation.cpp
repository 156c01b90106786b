#include "prowlnet-script/conditional_compilation.h"

#include <map>
#include <vector>

namespace script_host {
namespace {

const std::map<std::string, CcValue>& PredefinedVariables() {
  static const std::map<std::string, CcValue> variables = {
      {"_jscript", {"true", true}},        {"_jscript_version", {"5.8", true}}, {"_jscript_build", {"16385", true}},
      {"_win32", {"true", true}},          {"_x86", {"true", true}},            {"_debug", {"false", false}},
      {"_fast", {"false", false}},
  };
  return variables;
}

const CcValue kNaN{"NaN", false};

bool IsIdentifierStart(char c) {
  const bool ascii = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
  return ascii || static_cast<unsigned char>(c) >= 0x80;
}
bool IsIdentifierPart(char c) { return IsIdentifierStart(c) || (c >= '0' && c <= '9'); }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

/// Whether a '/' after the word `word` starts a regular expression rather than a division.
bool KeywordBeforeExpression(std::string_view word) {
  static constexpr std::string_view kKeywords[] = {"return", "typeof", "instanceof", "in", "new",  "delete",
                                                   "void",   "throw",  "case",       "do", "else"};
  for (std::string_view keyword : kKeywords)
    if (word == keyword) return true;
  return false;
}

/// Whether `expression` (variables replaced) holds only what a conditional-compilation expression
/// may: numbers, true, false, NaN, Infinity, operators and parentheses. Nothing in it can call
/// or name anything, so it is safe to hand to the engine.
bool IsConstantExpression(std::string_view expression) {
  for (size_t at = 0; at < expression.size();) {
    const char c = expression[at];
    if (IsSpace(c) || std::string_view("()!~*/%+-<>=&^|?:").find(c) != std::string_view::npos) {
      ++at;
    } else if ((c >= '0' && c <= '9') || c == '.') {
      while (at < expression.size() && (IsIdentifierPart(expression[at]) || expression[at] == '.')) ++at;
    } else if (IsIdentifierStart(c)) {
      const size_t start = at;
      while (at < expression.size() && IsIdentifierPart(expression[at])) ++at;
      const std::string_view word = expression.substr(start, at - start);
      if (word != "true" && word != "false" && word != "NaN" && word != "Infinity") return false;
    } else {
      return false;
    }
  }
  return true;
}

class Preprocessor {
 public:
  Preprocessor(std::string_view source, const CcEvaluator& evaluate) : source_(source), evaluate_(evaluate) {
    out_.reserve(source.size());
  }

  Preprocessed Run() {
    while (at_ < source_.size() && error_.empty()) Step();
    if (error_.empty() && !branches_.empty()) Fail("Expected '@end'", branches_.back().line);
    if (error_.empty() && inCcComment_) Fail("Expected '@*/'", ccCommentLine_);
    return {std::move(out_), std::move(error_), errorLine_};
  }

 private:
  struct Branch {
    bool taken;      // one of its conditions held already
    bool live;       // the code of the current branch is kept
    bool outerLive;  // the @if itself is in kept code
    int line;
  };

  bool Live() const { return branches_.empty() || branches_.back().live; }
  bool StartsWith(std::string_view text) const { return source_.substr(at_).starts_with(text); }
  char Peek(size_t ahead = 0) const { return at_ + ahead < source_.size() ? source_[at_ + ahead] : '\0'; }

  void Fail(std::string message, int line) {
    if (!error_.empty()) return;
    error_ = std::move(message);
    errorLine_ = line;
  }

  /// Takes `count` characters: kept as they are in live code, blanks otherwise.
  void Take(size_t count, bool keep) {
    for (size_t end = std::min(at_ + count, source_.size()); at_ < end; ++at_) {
      const char c = source_[at_];
      if (c == '\n') ++line_;
      out_ += keep || c == '\n' || c == '\r' ? c : ' ';
    }
  }
  void Copy(size_t count) { Take(count, Live()); }
  void Blank(size_t count) { Take(count, false); }

  void Step() {
    if (inCcComment_ && StartsWith("@*/")) {
      Blank(3);
      inCcComment_ = false;
    } else if (StartsWith("/*@") && (active_ || StartsDirective(at_ + 2))) {
      OpenCcComment(true);
    } else if (StartsWith("//@") && (active_ || StartsDirective(at_ + 2))) {
      OpenCcComment(false);
    } else if (StartsWith("/*")) {
      const size_t end = source_.find("*/", at_ + 2);
      Copy(end == std::string_view::npos ? source_.size() - at_ : end + 2 - at_);
    } else if (StartsWith("//")) {
      const size_t end = source_.find('\n', at_);
      Copy(end == std::string_view::npos ? source_.size() - at_ : end - at_);
    } else if (Peek() == '@') {
      Directive();
    } else {
      Token();
    }
  }

  /// "/*@" or "//@": the "@" is the start of the directive or code that follows.
  void OpenCcComment(bool block) {
    Blank(2);
    if (block) {
      inCcComment_ = true;
      ccCommentLine_ = line_;
    }
    openerAt_ = at_;
  }

  /// Whether "@cc_on", "@if" or "@set", which turn conditional compilation on, starts at `at`.
  bool StartsDirective(size_t at) const {
    const std::string name = NameAt(at + 1);
    return source_[at] == '@' && (name == "cc_on" || name == "if" || name == "set");
  }

  std::string NameAt(size_t at) const {
    size_t end = at;
    if (end < source_.size() && IsIdentifierStart(source_[end])) ++end;
    while (end > at && end < source_.size() && IsIdentifierPart(source_[end])) ++end;
    return std::string(source_.substr(at, end - at));
  }

  void Token() {
    const char c = Peek();
    if (c == '\'' || c == '"') {
      Quoted(c);
      regexAllowed_ = false;
    } else if (c == '/' && regexAllowed_) {
      Quoted('/');
      regexAllowed_ = false;
    } else if (IsIdentifierStart(c)) {
      const std::string word = NameAt(at_);
      Copy(word.size());
      regexAllowed_ = KeywordBeforeExpression(word);
    } else if (c >= '0' && c <= '9') {
      Copy(NumberLength());
      regexAllowed_ = false;
    } else {
      if (!IsSpace(c)) regexAllowed_ = c != ')' && c != ']';
      Copy(1);
    }
  }

  /// The length of the number (or the run of letters and digits) at the current place.
  size_t NumberLength() const {
    size_t end = at_;
    while (end < source_.size() && (IsIdentifierPart(source_[end]) || source_[end] == '.')) ++end;
    return end - at_;
  }

  /// A string or regular expression literal, up to its closing `quote` or the end of the line.
  void Quoted(char quote) {
    size_t end = at_ + 1;
    bool inClass = false;
    for (; end < source_.size() && source_[end] != '\n'; ++end) {
      const char c = source_[end];
      if (c == '\\') {
        ++end;
      } else if (quote == '/' && (c == '[' || c == ']')) {
        inClass = c == '[';
      } else if (c == quote && !inClass) {
        ++end;
        break;
      }
    }
    Copy(end - at_);
  }

  void Directive() {
    const int line = line_;
    const std::string name = NameAt(at_ + 1);
    if (name.empty()) {
      // The "@" of an opener followed by code; any other is the engine's to refuse.
      if (at_ == openerAt_) {
        Blank(1);
      } else {
        Copy(1);
      }
      return;
    }
    if (!active_ && name != "cc_on" && name != "if" && name != "set") {
      Copy(1);
      return;
    }
    active_ = true;
    Blank(1 + name.size());
    if (name == "cc_on") return;
    if (name == "if") return If(line);
    if (name == "elif") return Elif(line);
    if (name == "else") return Else(line);
    if (name == "end") return End(line);
    if (name == "set") return Set(line);
    const CcValue value = Variable(name);
    if (Live()) out_ += value.text;
    regexAllowed_ = false;
  }

  CcValue Variable(const std::string& name) const {
    const auto set = variables_.find(name);
    if (set != variables_.end()) return set->second;
    const auto predefined = PredefinedVariables().find(name);
    return predefined != PredefinedVariables().end() ? predefined->second : kNaN;
  }

  void SkipBlanks() {
    while (at_ < source_.size() && IsSpace(source_[at_])) Blank(1);
  }

  /// Reads "(expression)" and blanks it; the expression with its variables replaced.
  std::optional<std::string> Parenthesized() {
    SkipBlanks();
    if (Peek() != '(') return std::nullopt;
    std::string expression;
    int depth = 0;
    do {
      const char c = Peek();
      if (c == '\0') return std::nullopt;
      depth += c == '(' ? 1 : c == ')' ? -1 : 0;
      if (c == '@' && !NameAt(at_ + 1).empty()) {
        const std::string name = NameAt(at_ + 1);
        expression += Variable(name).text;
        Blank(1 + name.size());
      } else {
        expression += c;
        Blank(1);
      }
    } while (depth > 0);
    return expression;
  }

  /// Evaluates `expression`; a false value, and an error, when it is not a valid one.
  bool Condition(const std::optional<std::string>& expression, int line) {
    const std::optional<CcValue> value = Evaluate(expression, line);
    return value && value->truthy;
  }

  std::optional<CcValue> Evaluate(const std::optional<std::string>& expression, int line) {
    if (!expression || !IsConstantExpression(*expression)) {
      Fail("Syntax error in a conditional compilation expression", line);
      return std::nullopt;
    }
    std::optional<CcValue> value = evaluate_(*expression);
    if (!value) Fail("Syntax error in a conditional compilation expression", line);
    return value;
  }

  void If(int line) {
    const std::optional<std::string> expression = Parenthesized();
    const bool outer = Live();
    const bool holds = outer && Condition(expression, line);
    branches_.push_back({holds, holds, outer, line});
  }

  void Elif(int line) {
    if (branches_.empty()) return Fail("@elif without @if", line);
    const std::optional<std::string> expression = Parenthesized();
    Branch& branch = branches_.back();
    const bool holds = branch.outerLive && !branch.taken && Condition(expression, line);
    branch.live = holds;
    branch.taken = branch.taken || holds;
  }

  void Else(int line) {
    if (branches_.empty()) return Fail("@else without @if", line);
    Branch& branch = branches_.back();
    branch.live = branch.outerLive && !branch.taken;
    branch.taken = true;
  }

  void End(int line) {
    if (branches_.empty()) return Fail("@end without @if", line);
    branches_.pop_back();
  }

  /// "@set @name = term", where the term is unary operators before a constant, a variable or a
  /// parenthesized expression.
  void Set(int line) {
    SkipBlanks();
    const std::string name = Peek() == '@' ? NameAt(at_ + 1) : std::string();
    if (name.empty()) return Fail("Expected '@' and a variable name after @set", line);
    Blank(1 + name.size());
    SkipBlanks();
    if (Peek() != '=') return Fail("Expected '=' in @set", line);
    Blank(1);
    std::string term;
    for (SkipBlanks(); std::string_view("!~+-").find(Peek()) != std::string_view::npos; SkipBlanks()) {
      term += Peek();
      Blank(1);
    }
    if (Peek() == '(') {
      const std::optional<std::string> inner = Parenthesized();
      if (!inner) return Fail("Expected ')' in @set", line);
      term += *inner;
    } else if (Peek() == '@') {
      const std::string variable = NameAt(at_ + 1);
      term += Variable(variable).text;
      Blank(1 + variable.size());
    } else {
      const size_t length = NumberLength();
      term += source_.substr(at_, length);
      Blank(length);
    }
    if (!Live()) return;
    const std::optional<CcValue> value = Evaluate(term, line);
    if (value) variables_[name] = *value;
  }

  std::string_view source_;
  const CcEvaluator& evaluate_;
  std::string out_;
  size_t at_ = 0;
  int line_ = 1;
  bool active_ = false;
  bool inCcComment_ = false;
  int ccCommentLine_ = 0;
  size_t openerAt_ = std::string_view::npos;
  bool regexAllowed_ = true;
  std::vector<Branch> branches_;
  std::map<std::string, CcValue> variables_;
  std::string error_;
  int errorLine_ = 0;
};

}  // namespace

Preprocessed PreprocessConditionalCompilation(std::string_view source, const CcEvaluator& evaluate) {
  // Without an "@" there is nothing to do, and most scripts have none.
  if (source.find('@') == std::string_view::npos) return {std::string(source), {}, 0};
  return Preprocessor(source, evaluate).Run();
}

}  // namespace script_host
