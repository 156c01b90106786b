#include "engine/xml_shape.h"

#include <vector>

namespace prowlnet {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || u >= 0x80;
}

bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

/// Reads a text from left to right; every step either consumes what it expects or reports false.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool AtEnd() const { return at_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[at_]; }
  void Skip() { ++at_; }
  bool StartsWith(std::string_view prefix) const { return text_.substr(at_).starts_with(prefix); }

  bool Take(std::string_view expected) {
    if (!StartsWith(expected)) return false;
    at_ += expected.size();
    return true;
  }
  /// Moves past the first `close` from here on; false when there is none, or when `forbidden`
  /// stands before it.
  bool SkipPast(std::string_view close, std::string_view forbidden = {}) {
    const size_t found = text_.find(close, at_);
    if (found == std::string_view::npos) return false;
    if (!forbidden.empty() && text_.find(forbidden, at_) < found) return false;
    at_ = found + close.size();
    return true;
  }
  void SkipSpace() {
    while (!AtEnd() && IsSpace(text_[at_])) ++at_;
  }
  /// A name at the cursor; empty when none starts here.
  std::string_view Name() {
    const size_t start = at_;
    if (AtEnd() || !IsNameStart(text_[at_])) return {};
    while (!AtEnd() && IsNameChar(text_[at_])) ++at_;
    return text_.substr(start, at_ - start);
  }
  /// A quoted attribute value without '<'.
  bool QuotedValue() {
    const char quote = Peek();
    if (quote != '"' && quote != '\'') return false;
    for (++at_; !AtEnd(); ++at_) {
      if (text_[at_] == '<') return false;
      if (text_[at_] == quote) {
        ++at_;
        return true;
      }
    }
    return false;
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

/// The rest of a start tag after its name: attributes, then '>' (opens the element: `*opens` set)
/// or "/>".
bool StartTagRest(Cursor& cursor, bool* opens) {
  for (;;) {
    cursor.SkipSpace();
    if (cursor.Take("/>")) {
      *opens = false;
      return true;
    }
    if (cursor.Take(">")) {
      *opens = true;
      return true;
    }
    if (cursor.Name().empty()) return false;
    cursor.SkipSpace();
    if (!cursor.Take("=")) return false;
    cursor.SkipSpace();
    if (!cursor.QuotedValue()) return false;
  }
}

}  // namespace

bool HasWellFormedShape(std::string_view text) {
  Cursor cursor(text);
  std::vector<std::string_view> open;  // the elements entered and not yet closed, innermost last
  bool rootSeen = false;
  while (!cursor.AtEnd()) {
    if (cursor.Peek() != '<') {
      if (open.empty() && !IsSpace(cursor.Peek())) return false;  // data outside the root
      cursor.Skip();
      continue;
    }
    if (cursor.Take("<!--")) {
      // IXML ends a comment at the first "-->" from the "<!--" itself, so it reads "<!-->" and
      // "<!--->" as whole comments.
      if (cursor.StartsWith(">") || cursor.StartsWith("->") || !cursor.SkipPast("-->", "--")) return false;
    } else if (cursor.Take("<?")) {
      if (cursor.Name().empty() || !cursor.SkipPast("?>", "<")) return false;
    } else if (cursor.Take("<![CDATA[")) {
      // IXML can lose its place in a CDATA section that holds markup, and then leaks; no text
      // the control reads needs one.
      if (open.empty() || !cursor.SkipPast("]]>", "<")) return false;
    } else if (cursor.StartsWith("<!")) {
      return false;
    } else if (cursor.Take("</")) {
      const std::string_view name = cursor.Name();
      cursor.SkipSpace();
      if (open.empty() || name != open.back() || !cursor.Take(">")) return false;
      open.pop_back();
    } else {
      cursor.Skip();
      const std::string_view name = cursor.Name();
      bool opens = false;
      if (name.empty() || (open.empty() && rootSeen) || !StartTagRest(cursor, &opens)) return false;
      rootSeen = true;
      if (opens) open.push_back(name);
    }
  }
  return rootSeen && open.empty();
}

}  // namespace prowlnet
