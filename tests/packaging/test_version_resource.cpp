// The Windows resources as the cross resource compiler built them (its .res output) and as the
// built Kromi.exe carries them (its resource section): the version block walked node by node
// the way Explorer reads it, and the icon embedded; and the executable's header.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr unsigned kRtIcon = 3, kRtGroupIcon = 14, kRtVersion = 16;

Bytes ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

unsigned Le16(const Bytes& b, std::size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return Le16(b, at) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}
std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

// A NUL-terminated UTF-16LE string at `at`, narrowed (all the names here are ASCII); `at` ends
// past the terminator.
std::string Utf16z(const Bytes& b, std::size_t& at) {
  std::string out;
  for (unsigned c = Le16(b, at); c != 0; c = Le16(b, at)) {
    out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    at += 2;
  }
  at += 2;
  return out;
}

struct Resource {
  unsigned type = 0;
  unsigned id = 0;
  unsigned language = 0;
  Bytes data;
};

// The records of a .res file; only ordinal types and names, which is all the script uses.
std::vector<Resource> ReadRes(const Bytes& b) {
  std::vector<Resource> out;
  for (std::size_t at = 0; at + 32 <= b.size();) {
    const std::uint32_t dataSize = Le32(b, at);
    const std::uint32_t headerSize = Le32(b, at + 4);
    Resource r;
    std::size_t p = at + 8;
    EXPECT_EQ(Le16(b, p), 0xFFFFu) << "named resource type";
    r.type = Le16(b, p + 2);
    EXPECT_EQ(Le16(b, p + 4), 0xFFFFu) << "named resource";
    r.id = Le16(b, p + 6);
    r.language = Le16(b, p + 8 + 4 + 2);
    const std::size_t data = at + headerSize;
    r.data.assign(b.begin() + static_cast<std::ptrdiff_t>(data),
                  b.begin() + static_cast<std::ptrdiff_t>(data + dataSize));
    if (r.type != 0) out.push_back(std::move(r));  // the empty record every .res starts with
    at = Align4(data + dataSize);
  }
  return out;
}

// The resources of a PE executable: its resource directory, type / id / language, walked from
// the section that holds it. Named entries are skipped (the script has none).
std::vector<Resource> ReadPe(const Bytes& b) {
  std::vector<Resource> out;
  if (b.size() < 0x40 || Le16(b, 0) != 0x5A4D) return out;  // "MZ"
  const std::size_t pe = Le32(b, 0x3C);
  if (Le32(b, pe) != 0x00004550) return out;  // "PE\0\0"
  const unsigned sections = Le16(b, pe + 6);
  const std::size_t optional = pe + 24;
  const unsigned optionalSize = Le16(b, pe + 20);
  const bool plus = Le16(b, optional) == 0x20B;
  const std::uint32_t rsrcRva = Le32(b, optional + (plus ? 112 : 96) + 2 * 8);  // data directory 2
  // The file offset of a relative virtual address.
  auto offsetOf = [&](std::uint32_t rva) -> std::size_t {
    for (unsigned i = 0; i < sections; ++i) {
      const std::size_t h = optional + optionalSize + 40 * i;
      const std::uint32_t va = Le32(b, h + 12), size = Le32(b, h + 16), raw = Le32(b, h + 20);
      if (rva >= va && rva < va + size) return raw + (rva - va);
    }
    return 0;
  };
  const std::size_t root = offsetOf(rsrcRva);
  if (root == 0) return out;
  // Entries of the directory at `dir` (offset from root): (id, offset from root, is a directory).
  auto entries = [&](std::size_t dir) {
    std::vector<std::tuple<unsigned, std::size_t, bool>> list;
    const unsigned named = Le16(b, root + dir + 12), ids = Le16(b, root + dir + 14);
    for (unsigned i = named; i < named + ids; ++i) {
      const std::size_t e = root + dir + 16 + 8 * i;
      const std::uint32_t target = Le32(b, e + 4);
      list.emplace_back(Le32(b, e) & 0xFFFF, target & 0x7FFFFFFF, (target & 0x80000000u) != 0);
    }
    return list;
  };
  for (const auto& [type, typeDir, d1] : entries(0)) {
    for (const auto& [id, idDir, d2] : entries(typeDir)) {
      for (const auto& [language, leaf, d3] : entries(idDir)) {
        Resource r{type, id, language, {}};
        const std::size_t data = offsetOf(Le32(b, root + leaf));
        r.data.assign(b.begin() + static_cast<std::ptrdiff_t>(data),
                      b.begin() + static_cast<std::ptrdiff_t>(data + Le32(b, root + leaf + 4)));
        out.push_back(std::move(r));
      }
    }
  }
  return out;
}

// One node of a VS_VERSIONINFO tree: key, value (text or binary) and children.
struct Node {
  std::string key;
  bool text = false;
  Bytes value;
  std::vector<Node> children;

  const Node* Child(const std::string& name) const {
    for (const Node& c : children) {
      if (c.key == name) return &c;
    }
    return nullptr;
  }
  std::string Text() const {
    std::string s;
    for (std::size_t i = 0; i + 1 < value.size() && (value[i] | value[i + 1]) != 0; i += 2) {
      s.push_back(static_cast<char>(value[i]));
    }
    return s;
  }
};

Node ReadNode(const Bytes& b, std::size_t at) {
  const std::size_t end = at + Le16(b, at);
  const unsigned valueLength = Le16(b, at + 2);
  Node n;
  n.text = Le16(b, at + 4) == 1;
  std::size_t p = at + 6;
  n.key = Utf16z(b, p);
  p = Align4(p);
  // Text values count UTF-16 units, binary ones count bytes.
  const std::size_t valueBytes = n.text ? valueLength * 2u : valueLength;
  n.value.assign(b.begin() + static_cast<std::ptrdiff_t>(p), b.begin() + static_cast<std::ptrdiff_t>(p + valueBytes));
  p = Align4(p + valueBytes);
  while (p + 6 <= end && Le16(b, p) != 0) {
    n.children.push_back(ReadNode(b, p));
    p = Align4(p + Le16(b, p));
  }
  EXPECT_LE(end, b.size()) << n.key << " runs past its resource";
  return n;
}

// The numbers Windows shows for a "major.minor[.patch[.tweak]]" version: leading zeros dropped.
std::vector<std::uint32_t> VersionNumbers(const std::string& version) {
  std::vector<std::uint32_t> parts;
  std::stringstream in(version);
  for (std::string part; std::getline(in, part, '.');) parts.push_back(static_cast<std::uint32_t>(std::stoul(part)));
  parts.resize(4, 0);
  return parts;
}

// Where the resources are read from: the resource compiler's output, or the executable.
enum class Source { kRes, kExe };

class VersionResource : public testing::TestWithParam<Source> {
 protected:
  void SetUp() override {
    if (GetParam() == Source::kRes) {
      resources_ = ReadRes(ReadAll(KROMI_RES_FILE));
      ASSERT_FALSE(resources_.empty()) << "no resources in " << KROMI_RES_FILE;
      return;
    }
    const Bytes exe = ReadAll(KROMI_WINDOWS_EXE);
    if (exe.empty()) GTEST_SKIP() << KROMI_WINDOWS_EXE << " is not built (scripts/windows builds it)";
    resources_ = ReadPe(exe);
    ASSERT_FALSE(resources_.empty()) << "no resources in " << KROMI_WINDOWS_EXE;
  }
  const Resource* Find(unsigned type) const {
    for (const Resource& r : resources_) {
      if (r.type == type) return &r;
    }
    return nullptr;
  }
  Node Root() const {
    const Resource* r = Find(kRtVersion);
    EXPECT_NE(r, nullptr);
    return r ? ReadNode(r->data, 0) : Node{};
  }
  std::vector<Resource> resources_;
};

TEST_P(VersionResource, IsOneUsEnglishBlockWithTheFixedNumbers) {
  int blocks = 0;
  for (const Resource& r : resources_) blocks += r.type == kRtVersion;
  EXPECT_EQ(blocks, 1);
  const Resource* r = Find(kRtVersion);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->id, 1u);
  EXPECT_EQ(r->language, 0x0409u);

  const Node root = ReadNode(r->data, 0);
  EXPECT_EQ(root.key, "VS_VERSION_INFO");
  ASSERT_EQ(root.value.size(), 52u) << "VS_FIXEDFILEINFO";
  const Bytes& f = root.value;
  EXPECT_EQ(Le32(f, 0), 0xFEEF04BDu) << "signature";
  const std::vector<std::uint32_t> v = VersionNumbers(KROMI_VERSION_TEXT);
  EXPECT_EQ(Le32(f, 8), (v[0] << 16) | v[1]) << "file version, high";
  EXPECT_EQ(Le32(f, 12), (v[2] << 16) | v[3]) << "file version, low";
  EXPECT_EQ(Le32(f, 16), (v[0] << 16) | v[1]) << "product version, high";
  EXPECT_EQ(Le32(f, 20), (v[2] << 16) | v[3]) << "product version, low";
  const std::uint32_t os = Le32(f, 32);
  EXPECT_TRUE(os == 0x00040004u || os == 0x00000004u) << "FILEOS " << std::hex << os;
  EXPECT_EQ(Le32(f, 36), 1u) << "FILETYPE VFT_APP";
}

TEST_P(VersionResource, StringTableNamesTheProduct) {
  const Node root = Root();
  const Node* info = root.Child("StringFileInfo");
  ASSERT_NE(info, nullptr);
  ASSERT_EQ(info->children.size(), 1u);
  const Node& table = info->children[0];
  EXPECT_EQ(table.key, "040904B0");
  std::map<std::string, std::string> strings;
  for (const Node& s : table.children) {
    EXPECT_TRUE(s.text) << s.key;
    strings[s.key] = s.Text();
  }
  const std::map<std::string, std::string> want = {
      {"CompanyName", "-"},           {"ProductName", "prjKromi"},
      {"FileVersion", KROMI_VERSION_TEXT}, {"ProductVersion", KROMI_VERSION_TEXT},
      {"InternalName", "Kromi"},      {"OriginalFilename", "Kromi.exe"},
  };
  EXPECT_EQ(strings, want);
}

TEST_P(VersionResource, TranslationIsUsEnglishUnicode) {
  const Node root = Root();
  const Node* vars = root.Child("VarFileInfo");
  ASSERT_NE(vars, nullptr);
  const Node* translation = vars->Child("Translation");
  ASSERT_NE(translation, nullptr);
  ASSERT_EQ(translation->value.size(), 4u);
  EXPECT_EQ(Le16(translation->value, 0), 0x0409u);
  EXPECT_EQ(Le16(translation->value, 2), 1200u);
}

// The icon group must list kromi.ico's images in its order, each pointing at an icon image that
// is byte for byte the one in kromi.ico: 32 (16 colours, first), 16, 24, 48, then 256 as PNG.
TEST_P(VersionResource, EmbedsTheDrawnIcon) {
  const Resource* group = Find(kRtGroupIcon);
  ASSERT_NE(group, nullptr);
  const Bytes ico = ReadAll(KROMI_ICO_FILE);
  ASSERT_GE(ico.size(), 6u);
  const unsigned count = Le16(ico, 4);
  ASSERT_EQ(count, 5u) << "images in kromi.ico";
  ASSERT_EQ(group->data.size(), 6u + 14u * count);
  EXPECT_EQ(Le16(group->data, 2), 1u) << "icon group";
  EXPECT_EQ(Le16(group->data, 4), count);

  const unsigned sizes[] = {32, 16, 24, 48, 0};  // 0 stands for 256
  for (unsigned i = 0; i < count; ++i) {
    const std::size_t g = 6 + 14 * std::size_t{i}, f = 6 + 16 * std::size_t{i};
    EXPECT_EQ(group->data[g], sizes[i]) << "image " << i;
    EXPECT_EQ(Le16(group->data, g + 6), sizes[i] == 0 ? 32u : 4u) << "bits per pixel of image " << i;
    // Width, height, colours, reserved, planes, bits and size: as the file's directory has them.
    EXPECT_TRUE(std::equal(group->data.begin() + static_cast<std::ptrdiff_t>(g),
                           group->data.begin() + static_cast<std::ptrdiff_t>(g + 12),
                           ico.begin() + static_cast<std::ptrdiff_t>(f)))
        << "group entry " << i << " differs from kromi.ico's";
    const unsigned iconId = Le16(group->data, g + 12);
    const std::size_t at = Le32(ico, f + 12);
    const Bytes image(ico.begin() + static_cast<std::ptrdiff_t>(at),
                      ico.begin() + static_cast<std::ptrdiff_t>(at + Le32(ico, f + 8)));
    int found = 0;
    for (const Resource& r : resources_) {
      if (r.type != kRtIcon || r.id != iconId) continue;
      ++found;
      EXPECT_EQ(r.data, image) << "image " << i;
      if (sizes[i] == 0) {
        ASSERT_GE(r.data.size(), 8u);
        EXPECT_EQ(Bytes(r.data.begin(), r.data.begin() + 8), (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
      }
    }
    EXPECT_EQ(found, 1) << "icon " << iconId << " named by the group";
  }
  EXPECT_EQ(group->data[8], 16) << "the 32 x 32 has 16 colours";
}

// The optional header of the built Kromi.exe, or nothing when it is not built or no PE32+.
Bytes OptionalHeader(const Bytes& b, std::size_t& pe) {
  if (b.size() < 0x40 || Le16(b, 0) != 0x5A4D) return {};
  pe = Le32(b, 0x3C);
  if (Le32(b, pe) != 0x00004550 || Le16(b, pe + 24) != 0x20B) return {};
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(pe + 24),
               b.begin() + static_cast<std::ptrdiff_t>(pe + 24 + Le16(b, pe + 20)));
}

class KromiExeHeader : public testing::Test {
 protected:
  void SetUp() override {
    exe_ = ReadAll(KROMI_WINDOWS_EXE);
    if (exe_.empty()) GTEST_SKIP() << KROMI_WINDOWS_EXE << " is not built (scripts/windows builds it)";
    optional_ = OptionalHeader(exe_, pe_);
    ASSERT_GE(optional_.size(), 72u) << "no PE32+ optional header";
  }
  Bytes exe_, optional_;
  std::size_t pe_ = 0;
};

// mingw's ld sets these by default; a changed link line (a --disable-dynamicbase, an older
// binutils) would quietly drop them, and Windows would load the game at a fixed address.
TEST_F(KromiExeHeader, KeepsAslrHighEntropyAslrAndDep) {
  constexpr unsigned kHighEntropyVa = 0x20, kDynamicBase = 0x40, kNxCompat = 0x100;
  const unsigned characteristics = Le16(optional_, 70);
  EXPECT_EQ(characteristics & (kHighEntropyVa | kDynamicBase | kNxCompat), kHighEntropyVa | kDynamicBase | kNxCompat)
      << "DllCharacteristics 0x" << std::hex << characteristics;
}

// A link time in the header would make every build of the same commit differ.
TEST_F(KromiExeHeader, CarriesNoLinkTime) { EXPECT_EQ(Le32(exe_, pe_ + 8), 0u) << "TimeDateStamp"; }

INSTANTIATE_TEST_SUITE_P(Built, VersionResource, testing::Values(Source::kRes, Source::kExe),
                         [](const testing::TestParamInfo<Source>& param) {
                           return param.param == Source::kRes ? "ResourceFile" : "KromiExe";
                         });

}  // namespace
