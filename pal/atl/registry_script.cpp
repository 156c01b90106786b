#include "atl/registry_script.h"

#include "internal/loud.h"
#include "kernel32/utf16.h"

namespace pal::atl {
namespace {

using internal::EqualIgnoringAsciiCase;

struct Token {
  std::u16string text;
  bool quoted = false;
};

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

/// Words separated by white space, and single-quoted strings.
class Tokenizer {
 public:
  explicit Tokenizer(std::u16string_view text) : text_(text) {}

  /// The next token; nothing at the end or for an unclosed quote (then `failed()` holds).
  std::optional<Token> Next() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
    if (at_ >= text_.size()) return std::nullopt;
    if (text_[at_] == u'\'') return Quoted();
    Token token;
    while (at_ < text_.size() && !IsSpace(text_[at_])) token.text += text_[at_++];
    return token;
  }

  bool failed() const { return failed_; }

 private:
  std::optional<Token> Quoted() {
    Token token{u"", true};
    for (++at_; at_ < text_.size(); ++at_) {
      if (text_[at_] != u'\'') {
        token.text += text_[at_];
      } else if (at_ + 1 < text_.size() && text_[at_ + 1] == u'\'') {
        token.text += u'\'';
        ++at_;
      } else {
        ++at_;
        return token;
      }
    }
    failed_ = true;
    return std::nullopt;
  }

  std::u16string_view text_;
  size_t at_ = 0;
  bool failed_ = false;
};

bool IsWord(const std::optional<Token>& token, std::u16string_view word) {
  return token && !token->quoted && EqualIgnoringAsciiCase(token->text, word);
}

std::optional<HKEY> RootKeyOf(const Token& token) {
  if (token.quoted) return std::nullopt;
  const std::u16string& name = token.text;
  if (EqualIgnoringAsciiCase(name, u"HKCR") || EqualIgnoringAsciiCase(name, u"HKEY_CLASSES_ROOT"))
    return HKEY_CLASSES_ROOT;
  if (EqualIgnoringAsciiCase(name, u"HKCU") || EqualIgnoringAsciiCase(name, u"HKEY_CURRENT_USER"))
    return HKEY_CURRENT_USER;
  if (EqualIgnoringAsciiCase(name, u"HKLM") || EqualIgnoringAsciiCase(name, u"HKEY_LOCAL_MACHINE"))
    return HKEY_LOCAL_MACHINE;
  for (const char16_t* other : {u"HKU", u"HKEY_USERS", u"HKCC", u"HKEY_CURRENT_CONFIG", u"HKPD", u"HKDD"}) {
    if (EqualIgnoringAsciiCase(name, other)) internal::Unsupported("CRegObject", "this root key");
  }
  return std::nullopt;
}

/// Decimal, or hexadecimal after 0x.
std::optional<DWORD> NumberOf(std::u16string_view text) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  unsigned long long value = 0;
  for (char16_t c : text) {
    unsigned digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (base == 16 && (c | 0x20) >= u'a' && (c | 0x20) <= u'f') {
      digit = (c | 0x20) - u'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<DWORD>(value);
}

/// Where a replaced text lands: a key's name may not take a backslash from it, which would name
/// a key below another.
enum class Place { kKeyName, kText };

/// `text` with each %NAME% replaced and each %% read as %; nothing for a name without a
/// replacement, an unclosed %, or a backslash that a replacement would put into a key's name.
std::optional<std::u16string> Substituted(std::u16string_view text, const Replacements& replacements, Place place) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%') {
      out += text[i];
      continue;
    }
    const size_t close = text.find(u'%', i + 1);
    if (close == std::u16string_view::npos) return std::nullopt;
    const std::u16string_view name = text.substr(i + 1, close - i - 1);
    if (name.empty()) {
      out += u'%';
    } else {
      auto found = replacements.find(internal::FoldedAscii(name));
      if (found == replacements.end()) return std::nullopt;
      if (place == Place::kKeyName && found->second.find(u'\\') != std::u16string::npos) return std::nullopt;
      out += found->second;
    }
    i = close;
  }
  return out;
}

class Parser {
 public:
  Parser(std::u16string_view script, const Replacements& replacements) : tokens_(script), replacements_(replacements) {
    Advance();
  }

  std::optional<std::vector<ScriptRoot>> Script() {
    std::vector<ScriptRoot> roots;
    while (current_) {
      std::optional<HKEY> key = RootKeyOf(*current_);
      if (!key) return std::nullopt;
      Advance();
      ScriptRoot root{*key, {}};
      if (!IsWord(current_, u"{") || !Block(root.entries)) return std::nullopt;
      roots.push_back(std::move(root));
    }
    if (tokens_.failed()) return std::nullopt;
    return roots;
  }

 private:
  void Advance() { current_ = tokens_.Next(); }

  /// Reads "{ entries }" with the current token on the opening brace.
  bool Block(std::vector<ScriptEntry>& entries) {
    Advance();
    while (current_ && !IsWord(current_, u"}")) {
      ScriptEntry entry;
      if (!Entry(entry)) return false;
      entries.push_back(std::move(entry));
    }
    if (!current_) return false;
    Advance();
    return true;
  }

  bool Entry(ScriptEntry& entry) {
    if (IsWord(current_, u"ForceRemove")) {
      entry.removal = Removal::kForceRemove;
    } else if (IsWord(current_, u"NoRemove")) {
      entry.removal = Removal::kNoRemove;
    } else if (IsWord(current_, u"Delete")) {
      entry.removal = Removal::kDelete;
    }
    if (entry.removal != Removal::kNormal) Advance();
    if (IsWord(current_, u"val")) {
      entry.isNamedValue = true;
      Advance();
    }
    if (!current_ || IsWord(current_, u"{") || IsWord(current_, u"}") || IsWord(current_, u"=")) return false;
    std::optional<std::u16string> name =
        Substituted(current_->text, replacements_, entry.isNamedValue ? Place::kText : Place::kKeyName);
    if (!name || (!entry.isNamedValue && name->empty())) return false;
    entry.name = std::move(*name);
    Advance();
    if (IsWord(current_, u"=")) {
      Advance();
      entry.value = Value();
      if (!entry.value) return false;
    }
    if (entry.isNamedValue) return entry.value.has_value() && entry.removal == Removal::kNormal;
    if (IsWord(current_, u"{")) return Block(entry.entries);
    return true;
  }

  /// Reads "s 'text'" or "d 'number'".
  std::optional<ScriptValue> Value() {
    if (!current_ || current_->quoted) return std::nullopt;
    const std::u16string kind = current_->text;
    Advance();
    if (!current_) return std::nullopt;
    const std::optional<std::u16string> text = Substituted(current_->text, replacements_, Place::kText);
    if (!text) return std::nullopt;
    ScriptValue value;
    if (EqualIgnoringAsciiCase(kind, u"s")) {
      value.text = *text;
    } else if (EqualIgnoringAsciiCase(kind, u"d")) {
      std::optional<DWORD> number = NumberOf(*text);
      if (!number) return std::nullopt;
      value.type = REG_DWORD;
      value.number = *number;
    } else if (EqualIgnoringAsciiCase(kind, u"m") || EqualIgnoringAsciiCase(kind, u"b")) {
      internal::Unsupported("CRegObject", "multi-string and binary values");
    } else {
      return std::nullopt;
    }
    Advance();
    return value;
  }

  Tokenizer tokens_;
  const Replacements& replacements_;
  std::optional<Token> current_;
};

}  // namespace

std::optional<std::vector<ScriptRoot>> ParseScript(std::u16string_view script, const Replacements& replacements) {
  return Parser(script, replacements).Script();
}

}  // namespace pal::atl
