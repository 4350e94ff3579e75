// The packer dialog, created in this process from the real template and
// driven by messages, with the picker and the error box replaced.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "archive/archive_fixtures.h"
#include "packrat/archive/codec.h"
#include "packrat/ui/disk_files.h"
#include "packrat/ui/dialog.h"

namespace packrat {
namespace {

using testing_support::TempDir;

// ---- The template as stored in the program's resources -------------------------

struct TemplateItem {
  DWORD style;
  short x, y, cx, cy;
  WORD id;
  WORD class_atom;
  std::wstring text;
};

struct DialogTemplate {
  DWORD style;
  DWORD ex_style;
  short cx, cy;
  std::wstring caption;
  WORD point_size;
  std::wstring font;
  std::vector<TemplateItem> items;
};

// Reads the plain (not extended) dialog template layout: header, menu,
// class, caption, font, then DWORD-aligned item records.
DialogTemplate ReadTemplate() {
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(kPackerDialogTemplate), MAKEINTRESOURCEA(5));
  EXPECT_NE(resource, nullptr);
  const auto* base = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, resource)));
  const BYTE* p = base;
  auto word = [&] {
    WORD w;
    std::memcpy(&w, p, 2);
    p += 2;
    return w;
  };
  auto dword = [&] {
    DWORD d;
    std::memcpy(&d, p, 4);
    p += 4;
    return d;
  };
  auto text = [&] {
    std::wstring s;
    for (WORD w = word(); w != 0; w = word()) s += static_cast<wchar_t>(w);
    return s;
  };
  DialogTemplate t{};
  t.style = dword();
  t.ex_style = dword();
  const WORD count = word();
  word();  // x
  word();  // y
  t.cx = static_cast<short>(word());
  t.cy = static_cast<short>(word());
  EXPECT_EQ(word(), 0);  // no menu
  EXPECT_EQ(word(), 0);  // no class of its own
  t.caption = text();
  t.point_size = word();
  t.font = text();
  for (WORD i = 0; i < count; ++i) {
    p = base + ((p - base + 3) & ~3);
    TemplateItem item{};
    item.style = dword();
    dword();  // extended style
    item.x = static_cast<short>(word());
    item.y = static_cast<short>(word());
    item.cx = static_cast<short>(word());
    item.cy = static_cast<short>(word());
    item.id = word();
    // A predefined class comes as 0xFFFF and its atom from rc.exe; windres
    // writes its name instead. Both make the same control.
    if (WORD marker = word(); marker == 0xFFFF) {
      item.class_atom = word();
    } else {
      p -= 2;
      const std::wstring name = text();
      item.class_atom = name == L"BUTTON" ? 0x80 : name == L"EDIT" ? 0x81 : name == L"STATIC" ? 0x82 : 0;
    }
    item.text = text();
    const WORD extra = word();
    p += extra;
    t.items.push_back(item);
  }
  return t;
}

constexpr WORD kButtonClass = 0x80;
constexpr WORD kEditClass = 0x81;
constexpr WORD kStaticClass = 0x82;
constexpr WORD kNoId = 0xFFFF;

TEST(PackerTemplate, MatchesTheDialogAsDesigned) {
  const DialogTemplate t = ReadTemplate();
  EXPECT_EQ(t.style, 0xCA08C0u);
  EXPECT_EQ(t.ex_style, 0u);
  EXPECT_EQ(t.cx, 182);
  EXPECT_EQ(t.cy, 106);
  EXPECT_EQ(t.caption, L"Packrat");
  EXPECT_EQ(t.point_size, 8);
  EXPECT_EQ(t.font, L"MS Sans Serif");

  const DWORD child = WS_CHILD | WS_VISIBLE;
  const std::vector<TemplateItem> expected = {
      {child | BS_PUSHBUTTON | WS_TABSTOP, 5, 5, 50, 15, 1000, kButtonClass, L"Decompress"},
      {child | BS_PUSHBUTTON | WS_TABSTOP, 125, 5, 50, 15, 1002, kButtonClass, L"Exit"},
      {child | SS_LEFT | WS_GROUP, 15, 30, 23, 10, kNoId, kStaticClass, L"Status:"},
      {child | BS_GROUPBOX, 5, 20, 170, 25, kNoId, kButtonClass, L""},
      {child | WS_BORDER | ES_READONLY | WS_GROUP, 45, 28, 120, 12, 1003, kEditClass, L""},
      {child | BS_PUSHBUTTON | WS_TABSTOP, 65, 5, 50, 15, 1001, kButtonClass, L"Compress"},
  };
  ASSERT_EQ(t.items.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const TemplateItem& got = t.items[i];
    const TemplateItem& want = expected[i];
    EXPECT_EQ(got.style, want.style);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.class_atom, want.class_atom);
    EXPECT_EQ(got.text, want.text);
  }
}

// ---- The dialog at work ------------------------------------------------------------

class PackerDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    hooks_.pick_file = [this](HWND owner, PickerKind kind) {
      picker_calls_.push_back({owner, kind});
      return next_pick_;
    };
    hooks_.show_error = [this](HWND owner, const std::string& text) {
      EXPECT_EQ(owner, dialog_);
      errors_.push_back(text);
    };
    dialog_ = CreatePackerDialog(GetModuleHandleA(nullptr), hooks_);
    ASSERT_NE(dialog_, nullptr);
  }
  void TearDown() override {
    if (IsWindow(dialog_)) DestroyWindow(dialog_);
    DrainQuit();
  }

  std::string Text(int id) const {
    char buffer[512] = {};
    GetDlgItemTextA(dialog_, id, buffer, sizeof buffer);
    return buffer;
  }
  void Command(WPARAM value) { SendMessageA(dialog_, WM_COMMAND, value, 0); }

  // The exit code of a quit message waiting in the queue, or -1.
  static int DrainQuit() {
    MSG message;
    int code = -1;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) code = static_cast<int>(message.wParam);
    }
    return code;
  }

  struct PickerCall {
    HWND owner;
    PickerKind kind;
  };

  DialogHooks hooks_;
  HWND dialog_ = nullptr;
  std::optional<std::string> next_pick_;
  std::vector<PickerCall> picker_calls_;
  std::vector<std::string> errors_;
  TempDir dir_;
};

TEST_F(PackerDialog, StartsHiddenWithReadyAndItsControls) {
  EXPECT_FALSE(IsWindowVisible(dialog_));
  EXPECT_EQ(Text(kStatusLine), "Ready...");
  EXPECT_EQ(Text(kDecompressButton), "Decompress");
  EXPECT_EQ(Text(kCompressButton), "Compress");
  EXPECT_EQ(Text(kExitButton), "Exit");
  char caption[64] = {};
  GetWindowTextA(dialog_, caption, sizeof caption);
  EXPECT_STREQ(caption, "Packrat");
  const auto edit_style = static_cast<DWORD>(GetWindowLongPtrA(GetDlgItem(dialog_, kStatusLine), GWL_STYLE));
  EXPECT_TRUE(edit_style & ES_READONLY);
  EXPECT_FALSE(edit_style & WS_TABSTOP);
}

TEST_F(PackerDialog, TabVisitsDecompressExitCompress) {
  HWND decompress = GetDlgItem(dialog_, kDecompressButton);
  HWND exit_button = GetDlgItem(dialog_, kExitButton);
  HWND compress = GetDlgItem(dialog_, kCompressButton);
  EXPECT_EQ(GetNextDlgTabItem(dialog_, decompress, FALSE), exit_button);
  EXPECT_EQ(GetNextDlgTabItem(dialog_, exit_button, FALSE), compress);
  EXPECT_EQ(GetNextDlgTabItem(dialog_, compress, FALSE), decompress);
}

TEST_F(PackerDialog, DecompressThenCompressWriteTheFiles) {
  const Archive archive = testing_support::RandomArchive(3);
  ArchiveCodec(DiskFiles()).WriteCrp(archive, dir_.file("car.crp"));

  next_pick_ = dir_.file("car.crp");
  Command(kDecompressButton);
  ASSERT_EQ(picker_calls_.size(), 1u);
  EXPECT_EQ(picker_calls_[0].kind, PickerKind::kUnpack);
  EXPECT_EQ(picker_calls_[0].owner, dialog_);
  EXPECT_EQ(Text(kStatusLine), "Decompressed CRP. Ready...");
  EXPECT_EQ(ArchiveCodec(DiskFiles()).ReadDrp(dir_.file("car.drp")), archive);

  std::filesystem::remove(dir_.file("car.crp"));
  next_pick_ = dir_.file("car.drp");
  Command(kCompressButton);
  EXPECT_EQ(picker_calls_.back().kind, PickerKind::kPack);
  EXPECT_EQ(Text(kStatusLine), "Compressed DRP. Ready...");
  EXPECT_EQ(ArchiveCodec(DiskFiles()).ReadCrp(dir_.file("car.crp")), archive);
  EXPECT_TRUE(errors_.empty());
}

// The name in the system's ANSI code page, as the picker hands it over;
// empty when that code page cannot spell it.
std::string Ansi(const std::wstring& wide) {
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr, &lossy);
  if (size <= 0 || lossy) return {};
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, narrow.data(), size, nullptr, &lossy);
  narrow.pop_back();
  return narrow;
}

TEST_F(PackerDialog, NamesOutsideAsciiLandUnderTheirExactNames) {
  // ’ and € are bytes 0x92 and 0x80 in code page 1252: the range a
  // conversion other than the system's own gets wrong.
  const std::wstring folder_w = dir_.path().wstring() + L"\\Bob\u2019s cars";
  const std::wstring stem_w = folder_w + L"\\it\u2019s 5\u20ac caf\u00e9";
  const std::string folder = Ansi(folder_w);
  const std::string stem = Ansi(stem_w);
  if (folder.empty() || stem.empty()) GTEST_SKIP() << "the ANSI code page cannot spell the names";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const Archive archive = testing_support::RandomArchive(4);
  ArchiveCodec(DiskFiles()).WriteCrp(archive, stem + ".crp");
  testing_support::WriteFileBytes(dir_.file("old"), {'o', 'l', 'd'});
  ASSERT_TRUE(CopyFileA(dir_.file("old").c_str(), (stem + ".drp").c_str(), FALSE));

  next_pick_ = stem + ".crp";
  Command(kDecompressButton);
  EXPECT_EQ(Text(kStatusLine), "Decompressed CRP. Ready...");
  EXPECT_TRUE(errors_.empty());
  // Found under the wide name too: the bytes meant exactly these letters.
  EXPECT_NE(GetFileAttributesW((stem_w + L".drp").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ArchiveCodec(DiskFiles()).ReadDrp(stem + ".drp"), archive);

  ASSERT_TRUE(CopyFileA(dir_.file("old").c_str(), (stem + ".crp").c_str(), FALSE));
  next_pick_ = stem + ".drp";
  Command(kCompressButton);
  EXPECT_EQ(Text(kStatusLine), "Compressed DRP. Ready...");
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(ArchiveCodec(DiskFiles()).ReadCrp(stem + ".crp"), archive);
  EXPECT_EQ(testing_support::FolderListing(folder_w).size(), 2u);
}

TEST_F(PackerDialog, ErrorsGoToTheBoxAndLeaveTheWorkingText) {
  const std::string missing = dir_.file("missing.crp");
  next_pick_ = missing;
  Command(kDecompressButton);
  EXPECT_EQ(errors_, std::vector<std::string>{"File " + missing + " couldn't be opened"});
  EXPECT_EQ(Text(kStatusLine), "Decompressing CRP...");

  // A cancelled picker afterwards resets the status line.
  next_pick_.reset();
  Command(kCompressButton);
  EXPECT_EQ(Text(kStatusLine), "Ready...");
  EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(PackerDialog, OnlyWholeCommandValuesStartAnything) {
  next_pick_.reset();
  Command(MAKEWPARAM(kDecompressButton, 1));  // same id, another notification
  EXPECT_TRUE(picker_calls_.empty());
  Command(IDCANCEL);  // what Escape sends: the dialog stays open
  EXPECT_TRUE(IsWindow(dialog_));
  EXPECT_EQ(DrainQuit(), -1);
}

TEST_F(PackerDialog, ExitAndCloseEndTheLoopWithCodeZero) {
  Command(kExitButton);
  EXPECT_FALSE(IsWindow(dialog_));
  EXPECT_EQ(DrainQuit(), 0);

  dialog_ = CreatePackerDialog(GetModuleHandleA(nullptr), hooks_);
  ASSERT_NE(dialog_, nullptr);
  SendMessageA(dialog_, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(dialog_));
  EXPECT_EQ(DrainQuit(), 0);
}

}  // namespace
}  // namespace packrat
