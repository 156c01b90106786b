// The registry as registration and activation rely on it: keys and values that every process of
// the emulated machine sees, kept in a readable file that is never left half written.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "pal/winreg.h"
#include "support/temp_prefix.h"

namespace {

using test_support::ReadFile;
using test_support::TempPrefix;

HKEY CreateKey(HKEY parent, const char16_t* path) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  return key;
}

void SetString(HKEY key, const char16_t* name, std::u16string_view text) {
  const std::u16string data(text);
  ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>((data.size() + 1) * sizeof(WCHAR))),
            ERROR_SUCCESS);
}

/// The string value, "<missing>" when there is none, "<error>" on another failure.
std::u16string QueryString(HKEY key, const char16_t* name) {
  WCHAR buffer[256];
  DWORD size = sizeof buffer;
  DWORD type = 0;
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  if (status == ERROR_FILE_NOT_FOUND) return u"<missing>";
  if (status != ERROR_SUCCESS) return u"<error>";
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size % sizeof(WCHAR), 0u);
  return std::u16string(buffer, size / sizeof(WCHAR) - 1);
}

bool KeyExists(HKEY parent, const char16_t* path) {
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExW(parent, path, 0, KEY_READ, &key);
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

TEST(Registry, KeysAreCreatedWithTheirPathAndOpenedWithoutRegardToCase) {
  TempPrefix prefix;
  DWORD disposition = 0;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Camera.Viewer\\CLSID", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"CAMERA.viewer\\clsid", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);

  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"camera.VIEWER"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Camera.Viewer\\CLSID"))
      << "HKEY_CLASSES_ROOT is the machine's SOFTWARE\\Classes";
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\Camera.Viewer"));

  key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Camera.Viewer\\Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
}

TEST(Registry, ValuesReadBackWithTheirTypeAndSize) {
  TempPrefix prefix;
  HKEY key = CreateKey(HKEY_CLASSES_ROOT, u"Camera.Viewer");
  SetString(key, nullptr, u"Camera Viewer");
  SetString(key, u"Label", u"\u6444\u50cf\u673a \"quoted\" \\ back");
  const DWORD port = 3001;
  ASSERT_EQ(RegSetValueExW(key, u"Port", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port), sizeof port),
            ERROR_SUCCESS);

  EXPECT_EQ(QueryString(key, nullptr), u"Camera Viewer");
  EXPECT_EQ(QueryString(key, u""), u"Camera Viewer") << "an empty name is the default value too";
  EXPECT_EQ(QueryString(key, u"LABEL"), u"\u6444\u50cf\u673a \"quoted\" \\ back");

  DWORD type = 0, number = 0, size = sizeof number;
  ASSERT_EQ(RegQueryValueExW(key, u"port", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(number, 3001u);
  EXPECT_EQ(size, 4u);

  size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"Label", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, (19u + 1u) * sizeof(WCHAR)) << "the size counts the terminator";
  WCHAR small[4];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExW(key, u"Label", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 20u * sizeof(WCHAR));

  EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(key, u"label"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, u"Label"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(QueryString(key, u"Label"), u"<missing>");
  RegCloseKey(key);
}

TEST(Registry, SubkeysEnumerateInTheOrderOfTheirUpperCasedNames) {
  TempPrefix prefix;
  HKEY key = CreateKey(HKEY_CLASSES_ROOT, u"Enum");
  for (const char16_t* name : {u"beta", u"Alpha", u"_under", u"Gamma"}) RegCloseKey(CreateKey(key, name));

  std::vector<std::u16string> names;
  for (DWORD index = 0;; ++index) {
    WCHAR name[32];
    DWORD length = 32;
    const LSTATUS status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(status, ERROR_SUCCESS);
    EXPECT_EQ(length, std::u16string(name).size());
    names.emplace_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"beta", u"Gamma", u"_under"}));

  WCHAR tiny[3];
  DWORD length = 3;
  EXPECT_EQ(RegEnumKeyExW(key, 0, tiny, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA)
      << "the buffer must hold the terminator as well";
  RegCloseKey(key);
}

TEST(Registry, DeleteKeyRefusesAKeyWithSubkeysAndDeleteTreeTakesThemAll) {
  TempPrefix prefix;
  RegCloseKey(CreateKey(HKEY_CLASSES_ROOT, u"Tree\\Branch\\Leaf"));
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Tree\\Branch"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Tree\\Branch\\Leaf"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Tree\\Branch\\Leaf"), ERROR_FILE_NOT_FOUND);

  RegCloseKey(CreateKey(HKEY_CLASSES_ROOT, u"Tree\\Branch\\Leaf"));
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Tree\\Branch"), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Tree"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Tree\\Branch"));
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Tree\\Branch"), ERROR_FILE_NOT_FOUND);

  HKEY tree = CreateKey(HKEY_CLASSES_ROOT, u"Tree");
  SetString(tree, nullptr, u"kept?");
  RegCloseKey(CreateKey(tree, u"Again"));
  EXPECT_EQ(RegDeleteTreeW(tree, nullptr), ERROR_SUCCESS) << "a null subkey empties the key itself";
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Tree"));
  EXPECT_FALSE(KeyExists(tree, u"Again"));
  EXPECT_EQ(QueryString(tree, nullptr), u"<missing>");
  RegCloseKey(tree);
}

TEST(Registry, AHandleToADeletedKeyReportsItDeleted) {
  TempPrefix prefix;
  HKEY key = CreateKey(HKEY_CLASSES_ROOT, u"Doomed");
  ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Doomed"), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyExW(key, u"Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST(Registry, AHandleOpenedForReadingCannotWrite) {
  TempPrefix prefix;
  RegCloseKey(CreateKey(HKEY_CLASSES_ROOT, u"ReadOnly"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"ReadOnly", 0, KEY_READ, &key), ERROR_SUCCESS);
  const WCHAR text[] = u"x";
  EXPECT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
            ERROR_ACCESS_DENIED);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyExW(key, u"Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_ACCESS_DENIED);
  RegCloseKey(key);
}

// ---- the file --------------------------------------------------------------------------------

TEST(RegistryFile, IsTextAPersonCanRead) {
  TempPrefix prefix;
  HKEY key = CreateKey(HKEY_CLASSES_ROOT, u"Camera.Viewer\\CurVer");
  SetString(key, nullptr, u"Camera.Viewer.1");
  RegCloseKey(key);
  const std::string text = ReadFile(prefix.root() + "/registry.txt");
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Camera.Viewer\\CurVer]\n@=\"Camera.Viewer.1\"\n"),
            std::string::npos)
      << text;
}

/// Makes two generations of the registry: "First" alone, then "First" and "Second".
void WriteTwoGenerations() {
  RegCloseKey(CreateKey(HKEY_CLASSES_ROOT, u"First"));
  RegCloseKey(CreateKey(HKEY_CLASSES_ROOT, u"Second"));
}

TEST(RegistryFile, ACurrentFileCutShortIsRefusedAndThePreviousOneStands) {
  TempPrefix prefix;
  WriteTwoGenerations();
  const std::string path = prefix.root() + "/registry.txt";
  const std::string whole = ReadFile(path);
  std::filesystem::resize_file(path, whole.size() - 10);

  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"First"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Second")) << "the cut file is not taken as the registry";

  RegCloseKey(CreateKey(HKEY_CLASSES_ROOT, u"Third"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"First"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Third"));
  EXPECT_EQ(ReadFile(prefix.root() + "/registry.prev").find("Second"), std::string::npos)
      << "the damaged file never becomes the previous copy";
}

TEST(RegistryFile, AFileChangedInTheMiddleIsRefusedToo) {
  TempPrefix prefix;
  WriteTwoGenerations();
  const std::string path = prefix.root() + "/registry.txt";
  std::string text = ReadFile(path);
  text.replace(text.find("Second"), 6, "Sekond");
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"First"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Sekond"));
}

TEST(RegistryFile, AWriterKilledMidWriteLeavesTheRegistryWhole) {
  TempPrefix prefix;
  RegCloseKey(CreateKey(HKEY_CLASSES_ROOT, u"First"));
  // A crash while the new file was being written leaves it beside the registry, cut short.
  const std::string whole = ReadFile(prefix.root() + "/registry.txt");
  std::ofstream(prefix.root() + "/registry.tmp", std::ios::binary) << whole.substr(0, whole.size() / 2);

  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"First"));
  RegCloseKey(CreateKey(HKEY_CLASSES_ROOT, u"Second"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"First"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Second"));
}

TEST(RegistryFile, ChangesOfConcurrentProcessesAreAllKept) {
  TempPrefix prefix;
  constexpr int kWriters = 4;
  constexpr int kKeysEach = 25;
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> children;
  for (int writer = 0; writer < kWriters; ++writer) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      char byte = 0;
      if (write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 1) _exit(2);
      for (int i = 0; i < kKeysEach; ++i) {
        const std::string name = "Concurrent\\W" + std::to_string(writer) + "K" + std::to_string(i);
        const std::u16string wide(name.begin(), name.end());
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, wide.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
          _exit(1);
        RegCloseKey(key);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  char byte = 0;
  for (int i = 0; i < kWriters; ++i) ASSERT_EQ(read(ready[0], &byte, 1), 1);
  for (int i = 0; i < kWriters; ++i) ASSERT_EQ(write(go[1], &byte, 1), 1);  // all start at once
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  HKEY key = CreateKey(HKEY_CLASSES_ROOT, u"Concurrent");
  DWORD count = 0;
  for (;; ++count) {
    WCHAR name[32];
    DWORD length = 32;
    if (RegEnumKeyExW(key, count, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
  }
  EXPECT_EQ(count, static_cast<DWORD>(kWriters * kKeysEach));
  RegCloseKey(key);
}

}  // namespace
