#include "platform/com/versioninfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "tests/registry/temp_store.h"

namespace {

constexpr VersionStringEntry kStrings[] = {
    {u"FileDescription", u"Test program"},
    {u"ProductVersion", u"3, 1, 4, 1"},
    {u"Empty", u""},
};
constexpr VersionStringTableDescription kTables[] = {{u"040904E4", kStrings}};
constexpr DWORD kTranslations[] = {0x04E40409};
constexpr VersionDescription kVersion{
    {VS_FFI_SIGNATURE, VS_FFI_STRUCVERSION, MakeVersion(3, 1), MakeVersion(4, 1), MakeVersion(3, 1), MakeVersion(4, 1),
     VS_FFI_FILEFLAGSMASK, 0, VOS__WINDOWS32, VFT_APP, VFT2_UNKNOWN, 0, 0},
    kTables,
    kTranslations};

QORVENA_VERSION_RESOURCE(kBlock, kVersion);

std::string Self() { return std::filesystem::canonical("/proc/self/exe").string(); }

std::u16string Text(const void* p, UINT length) {
  const auto* c = static_cast<const char16_t*>(p);
  std::u16string s(c, length);
  while (!s.empty() && s.back() == 0) s.pop_back();
  return s;
}

TEST(VersionBlock, LayoutOfTheStructures) {
  const auto& b = kBlock;
  ASSERT_EQ(b.size() % 4, 0u);
  EXPECT_EQ(b[0] | (b[1] << 8), static_cast<int>(b.size())) << "wLength covers the whole block";
  EXPECT_EQ(b[2] | (b[3] << 8), 52) << "wValueLength: VS_FIXEDFILEINFO";
  EXPECT_EQ(b[4] | (b[5] << 8), 0) << "wType: binary";
  std::u16string key;
  for (std::size_t i = 6; b[i] | b[i + 1]; i += 2) key.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
  EXPECT_EQ(key, u"VS_VERSION_INFO");
  // Header 6 + key 32 = 38, padded to 40.
  EXPECT_EQ(b[40] | (b[41] << 8) | (b[42] << 16) | (b[43] << 24), static_cast<int>(0xFEEF04BD));
  ParsedVersionInfo info;
  std::string error;
  ASSERT_TRUE(ParseVersionInfo(kBlock, &info, &error)) << error;
  EXPECT_EQ(info.fixed.dwFileVersionMS, 0x00030001u);
  EXPECT_EQ(info.fixed.dwFileVersionLS, 0x00040001u);
  EXPECT_EQ(info.fixed.dwFileType, VFT_APP);
  ASSERT_EQ(info.strings.size(), 3u);
  EXPECT_EQ(info.strings[0].table, u"040904E4");
  EXPECT_EQ(info.strings[0].key, u"FileDescription");
  EXPECT_EQ(info.strings[0].value, u"Test program");
  EXPECT_EQ(info.strings[2].value, u"");
  EXPECT_EQ(info.translations, std::vector<DWORD>{0x04E40409});
}

TEST(VersionFile, ReadsTheBlockFromTheModuleFile) {
  DWORD handle = 7;
  DWORD size = GetFileVersionInfoSize(Self(), &handle);
  ASSERT_EQ(size, kBlock.size()) << VersionInfoLastError().message;
  EXPECT_EQ(handle, 0u);
  std::vector<BYTE> data(size);
  ASSERT_TRUE(GetFileVersionInfo(Self(), handle, size, data.data()));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), kBlock.begin()));

  const void* p = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValue(data.data(), u"\\", &p, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, p, sizeof fixed);
  EXPECT_EQ(fixed.dwSignature, VS_FFI_SIGNATURE);
  EXPECT_EQ(fixed.dwProductVersionMS, MakeVersion(3, 1));
  ASSERT_TRUE(VerQueryValue(data.data(), u"\\StringFileInfo\\040904e4\\productversion", &p, &length));
  EXPECT_EQ(Text(p, length), u"3, 1, 4, 1");
  EXPECT_EQ(length, 11u) << "characters with the terminating null";
  ASSERT_TRUE(VerQueryValue(data.data(), u"\\VarFileInfo\\Translation", &p, &length));
  EXPECT_EQ(length, 4u);
  for (const char16_t* missing : {u"\\StringFileInfo\\040904E4\\Nothing", u"\\StringFileInfo\\041104B0\\ProductVersion",
                                  u"\\Nothing", u"\\StringFileInfo\\040904E4\\Empty\\Deeper"}) {
    EXPECT_FALSE(VerQueryValue(data.data(), missing, &p, &length));
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(VersionInfoLastError().code, ERROR_RESOURCE_TYPE_NOT_FOUND);
  }

  std::vector<BYTE> small(size - 1);
  EXPECT_FALSE(GetFileVersionInfo(Self(), 0, size - 1, small.data()));
  EXPECT_EQ(VersionInfoLastError().code, ERROR_INSUFFICIENT_BUFFER);
}

class DamagedFiles : public ::testing::Test {
 protected:
  std::string Make(const std::string& name, const std::string& bytes) {
    std::string path = store.dir() + "/" + name;
    TempStore::WriteFile(path, bytes);
    return path;
  }
  TempStore store;  // only for its folder
};

TEST_F(DamagedFiles, GiveAClearErrorNeverACrash) {
  const std::string self = TempStore::ReadFile(Self());
  ASSERT_GT(self.size(), 4096u);
  // The same program with its version signature damaged.
  std::string badSignature = self;
  auto at = badSignature.find(std::string(reinterpret_cast<const char*>(kBlock.data()), 44));
  ASSERT_NE(at, std::string::npos);
  badSignature[at + 40] = 0;
  // With the section headers cut off or pointing outside the file.
  std::string headersOut = self;
  headersOut[0x28] = static_cast<char>(0xF0);  // e_shoff, low bytes
  headersOut[0x2F] = 0x7F;                     // e_shoff, high byte
  struct Case {
    std::string path;
    DWORD code;
    const char* message;
  };
  std::filesystem::create_directory(store.dir() + "/folder");
  const Case cases[] = {
      {store.dir() + "/missing.so", ERROR_FILE_NOT_FOUND, "cannot open"},
      {store.dir() + "/folder", ERROR_BAD_FORMAT, "not a regular file"},
      {Make("empty.so", ""), ERROR_BAD_FORMAT, "not an ELF file"},
      {Make("text.so", "hello, this is not a module at all"), ERROR_BAD_FORMAT, "not an ELF file"},
      {Make("header.so", self.substr(0, 20)), ERROR_BAD_FORMAT, "cut short"},
      {Make("half.so", self.substr(0, self.size() / 2)), ERROR_BAD_FORMAT, "outside the file"},
      {Make("headers.so", headersOut), ERROR_BAD_FORMAT, "outside the file"},
      {Make("signature.so", badSignature), ERROR_INVALID_DATA, "0xFEEF04BD"},
      {QCOM_LIBRARY_PATH, ERROR_RESOURCE_TYPE_NOT_FOUND, "has no version resource"},
  };
  for (const auto& c : cases) {
    DWORD handle = 0;
    EXPECT_EQ(GetFileVersionInfoSize(c.path, &handle), 0u) << c.path;
    VersionInfoError e = VersionInfoLastError();
    EXPECT_EQ(e.code, c.code) << c.path << ": " << e.message;
    EXPECT_NE(e.message.find(c.message), std::string::npos) << e.message;
    EXPECT_NE(e.message.find(c.path), std::string::npos) << e.message;
    std::vector<BYTE> buffer(4096);
    EXPECT_FALSE(GetFileVersionInfo(c.path, 0, 4096, buffer.data()));
  }
}

TEST_F(DamagedFiles, RandomDamageToTheProgramNeverCrashes) {
  const std::string self = TempStore::ReadFile(Self());
  std::mt19937 random(77);
  for (int round = 0; round < 40; ++round) {
    std::string damaged = self;
    for (int i = 0; i < 8; ++i) damaged[random() % 128] = static_cast<char>(random());
    for (int i = 0; i < 8; ++i) damaged[random() % damaged.size()] = static_cast<char>(random());
    std::string path = Make("random.so", damaged);
    std::vector<BYTE> block;
    std::string error;
    HRESULT hr = ReadVersionResource(path, &block, &error);
    EXPECT_TRUE(SUCCEEDED(hr) || !error.empty());
  }
}

// Every cut and random damage of a block is either read or refused, within the block's bounds.
TEST(VersionBlock, DamagedBlocksAreRefusedSafely) {
  std::vector<BYTE> block(kBlock.begin(), kBlock.end());
  for (std::size_t n = 0; n < block.size(); ++n) {
    std::vector<BYTE> cut(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    ParsedVersionInfo info;
    std::string error;
    EXPECT_FALSE(ParseVersionInfo(cut, &info, &error)) << n;
    EXPECT_FALSE(error.empty());
  }
  std::mt19937 random(5);
  for (int round = 0; round < 5000; ++round) {
    std::vector<BYTE> damaged = block;
    for (int i = 0; i < 3; ++i) damaged[random() % damaged.size()] = static_cast<BYTE>(random());
    ParsedVersionInfo info;
    std::string error;
    if (ParseVersionInfo(damaged, &info, &error)) {
      EXPECT_LE(info.length, damaged.size());
      const void* p = nullptr;
      UINT length = 0;
      // The block as GetFileVersionInfo would hand it out: exactly its checked length.
      std::vector<BYTE> exact(damaged.begin(), damaged.begin() + static_cast<std::ptrdiff_t>(info.length));
      VerQueryValue(exact.data(), u"\\StringFileInfo\\040904E4\\ProductVersion", &p, &length);
      VerQueryValue(exact.data(), u"\\VarFileInfo\\Translation", &p, &length);
    }
  }
}

}  // namespace
