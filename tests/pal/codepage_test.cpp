// Code-page conversion as the engine's automation strings rely on it: the ANSI code page taken
// from the environment at every call, the Windows size rules, and what happens to characters
// that a code page does not map, in UTF-8 and in 936 (GBK), both ways.
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "pal/kernel32.h"
#include "pal/winnls.h"

namespace {

/// Sets environment variables for a scope and puts the old values back afterwards.
class EnvironmentScope {
 public:
  EnvironmentScope(std::initializer_list<std::pair<const char*, const char*>> settings) {
    for (const auto& [name, value] : settings) {
      const char* old = std::getenv(name);
      saved_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
      if (value != nullptr) {
        setenv(name, value, 1);
      } else {
        unsetenv(name);
      }
    }
  }
  EnvironmentScope(const EnvironmentScope&) = delete;
  EnvironmentScope& operator=(const EnvironmentScope&) = delete;
  ~EnvironmentScope() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

/// A UTF-8 environment with nothing overriding the ANSI code page.
EnvironmentScope Utf8Environment() {
  return {{"PROWLNET_ACP", nullptr}, {"LC_ALL", nullptr}, {"LC_CTYPE", nullptr}, {"LANG", "C.UTF-8"}};
}

/// The environment the engine runs in on a Chinese Windows: ANSI code page 936.
EnvironmentScope Gbk936Environment() {
  return {{"PROWLNET_ACP", "936"}, {"LC_ALL", nullptr}, {"LC_CTYPE", nullptr}, {"LANG", "C.UTF-8"}};
}

std::u16string ToWide(UINT codePage, const std::string& bytes, DWORD flags = 0) {
  const int size = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
  std::u16string text(static_cast<size_t>(needed), u'\0');
  if (needed > 0) {
    EXPECT_EQ(MultiByteToWideChar(codePage, flags, bytes.data(), size, text.data(), needed), needed);
  }
  return text;
}

std::string ToNarrow(UINT codePage, const std::u16string& text, const char* defaultChar = nullptr,
                     BOOL* usedDefault = nullptr) {
  const int count = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(codePage, 0, text.data(), count, nullptr, 0, defaultChar, usedDefault);
  std::string bytes(static_cast<size_t>(needed), '\0');
  if (needed > 0) {
    EXPECT_EQ(WideCharToMultiByte(codePage, 0, text.data(), count, bytes.data(), needed, defaultChar, usedDefault),
              needed);
  }
  return bytes;
}

const std::string kGermanChineseUtf8 = "Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\xAD\xE6\x96\x87";
const std::u16string kGermanChinese = u"Grüße 中文";

TEST(CodePage, Utf8AnsiCodePageConvertsBothWays) {
  const EnvironmentScope environment = Utf8Environment();
  EXPECT_EQ(ToWide(CP_ACP, kGermanChineseUtf8), kGermanChinese);
  EXPECT_EQ(ToNarrow(CP_ACP, kGermanChinese), kGermanChineseUtf8);
  EXPECT_EQ(ToNarrow(CP_ACP, u"\U0001F600"), "\xF0\x9F\x98\x80") << "a surrogate pair is one character";
}

TEST(CodePage, SizesFollowTheWindowsRules) {
  const EnvironmentScope environment = Utf8Environment();
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", -1, nullptr, 0), 3) << "-1 counts the terminator";
  WCHAR wide[3] = {u'x', u'x', u'x'};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", -1, wide, 3), 3);
  EXPECT_EQ(std::u16string(wide, 3), std::u16string(u"ab\0", 3));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\0b", 3, nullptr, 0), 3) << "an explicit length keeps embedded zeros";
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "", -1, nullptr, 0), 1) << "an empty text is its terminator";

  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 0, wide, 3), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  char narrow[2];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"中", -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"中", -1, narrow, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(CodePage, IllFormedUtf8BecomesOneReplacementPerMaximalPart) {
  const EnvironmentScope environment = Utf8Environment();
  // 0xFF never starts a sequence; E4 B8 is the start of one cut short; ED A0 80 would encode a
  // surrogate, so ED stands alone and A0 and 80 are stray continuation bytes.
  EXPECT_EQ(ToWide(CP_ACP, "a\xFF" "b\xE4\xB8" "c\xED\xA0\x80" "d"), u"a\uFFFDb\uFFFDc\uFFFD\uFFFD\uFFFDd");
  EXPECT_EQ(ToWide(CP_ACP, "\xE6\x96"), u"\uFFFD") << "a sequence cut off by the end";

  WCHAR wide[8];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "a\xFF", 2, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

TEST(CodePage, AnUnpairedSurrogateLeavesUtf8AsAReplacement) {
  const EnvironmentScope environment = Utf8Environment();
  const std::u16string text = {u'x', 0xD800, u'y'};
  EXPECT_EQ(ToNarrow(CP_ACP, text), "x\xEF\xBF\xBDy");

  char bytes[8];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, text.data(), 3, bytes, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  BOOL usedDefault = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.data(), 3, bytes, 8, nullptr, &usedDefault), 0)
      << "UTF-8 takes no default character";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CodePage, Gbk936ConvertsBothWays) {
  const EnvironmentScope environment = Gbk936Environment();
  EXPECT_EQ(ToWide(CP_ACP, "\xD6\xD0\xCE\xC4 \x80"), u"中文 €");
  BOOL usedDefault = TRUE;
  EXPECT_EQ(ToNarrow(CP_ACP, u"中文 €é", nullptr, &usedDefault), "\xD6\xD0\xCE\xC4 \x80\xA8\xA6");
  EXPECT_FALSE(usedDefault);
}

TEST(CodePage, CharactersGbkLacksBecomeTheDefaultCharacter) {
  const EnvironmentScope environment = Gbk936Environment();
  BOOL usedDefault = FALSE;
  EXPECT_EQ(ToNarrow(CP_ACP, u"a\U0001F600中ก", nullptr, &usedDefault), "a?\xD6\xD0?")
      << "a surrogate pair is one character, one '?'";
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(ToNarrow(CP_ACP, u"aกb", "*"), "a*b");
}

TEST(CodePage, GbkSequencesWithoutAMappingBecomeTheDefaultCharacter) {
  const EnvironmentScope environment = Gbk936Environment();
  // 0x81 is a lead byte, but 0x20 cannot follow it: the lead alone is replaced and the space
  // stays; a lead byte cut off by the end is replaced too.
  EXPECT_EQ(ToWide(CP_ACP, "\xD6\xD0\x81\x20\xCE"), u"中? ?");
  WCHAR wide[8];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\x81\x20", 2, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

TEST(CodePage, CodePage54936IsGb18030) {
  EXPECT_EQ(ToNarrow(54936, u"中\u0080"), "\xD6\xD0\x81\x30\x81\x30") << "GBK's two bytes, and four for the rest";
  EXPECT_EQ(ToWide(54936, "\x81\x30\x81\x30\xD6\xD0"), u"\u0080中");
}

TEST(CodePage, AnsiCodePageIsReadFromTheEnvironmentAtEveryCall) {
  const std::string gbk = "\xD6\xD0";
  const std::string utf8 = "\xE4\xB8\xAD";
  {
    const EnvironmentScope e{{"PROWLNET_ACP", nullptr}, {"LC_ALL", "zh_CN.GBK"}, {"LC_CTYPE", nullptr}, {"LANG", nullptr}};
    EXPECT_EQ(ToNarrow(CP_ACP, u"中"), gbk);
  }
  {
    const EnvironmentScope e{{"PROWLNET_ACP", nullptr}, {"LC_ALL", ""}, {"LC_CTYPE", "zh_CN.gbk@modifier"}, {"LANG", "C"}};
    EXPECT_EQ(ToNarrow(CP_ACP, u"中"), gbk) << "an empty LC_ALL does not decide";
  }
  {
    const EnvironmentScope e{{"PROWLNET_ACP", nullptr}, {"LC_ALL", "C"}, {"LC_CTYPE", nullptr}, {"LANG", "zh_CN.GBK"}};
    EXPECT_EQ(ToNarrow(CP_ACP, u"中"), utf8) << "LC_ALL decides, and C names no charset";
  }
  {
    const EnvironmentScope e{{"PROWLNET_ACP", nullptr}, {"LC_ALL", nullptr}, {"LC_CTYPE", nullptr}, {"LANG", nullptr}};
    EXPECT_EQ(ToNarrow(CP_ACP, u"中"), utf8);
  }
  {
    const EnvironmentScope e{{"PROWLNET_ACP", "GBK"}, {"LC_ALL", "C.UTF-8"}};
    EXPECT_EQ(ToNarrow(CP_ACP, u"中"), gbk) << "PROWLNET_ACP overrides, by charset name";
  }
  {
    const EnvironmentScope e{{"PROWLNET_ACP", "65001"}, {"LC_ALL", "zh_CN.GBK"}};
    EXPECT_EQ(ToNarrow(CP_ACP, u"中"), utf8) << "PROWLNET_ACP overrides, by code-page number";
    EXPECT_EQ(ToNarrow(936, u"中"), gbk) << "a numbered code page is the one named";
  }
}

TEST(CodePage, UnknownCodePagesAreRefused) {
  const EnvironmentScope environment = Utf8Environment();
  WCHAR wide[4];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "a", 1, wide, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  const EnvironmentScope unknown{{"PROWLNET_ACP", "no-such-charset"}};
  EXPECT_DEATH(MultiByteToWideChar(CP_ACP, 0, "a", 1, wide, 4), "ANSI code page \"no-such-charset\"");
}

}  // namespace
