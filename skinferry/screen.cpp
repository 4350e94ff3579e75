#include "skinferry/screen.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/platform.h"

namespace skinferry {

namespace {

// Code page 437 double-line box characters.
constexpr char kTopLeft = '\xC9', kTopRight = '\xBB', kBottomLeft = '\xC8', kBottomRight = '\xBC';
constexpr char kTeeLeft = '\xCC', kTeeRight = '\xB9', kHorizontal = '\xCD', kVertical = '\xBA';

constexpr int kBoxLeft = 9, kBoxRight = 70, kBoxTop = 12, kBoxBottom = 23;
constexpr int kLabelColumn = 10;

constexpr const char* kInfoLabel = "Info:";
constexpr const char* kBmpLabel = "BMP file:";
constexpr const char* kAlphaLabel = "Alpha BMP file:";
constexpr const char* kTgaLabel = "TGA file:";
constexpr const char* kPtxLabel = "PTX file:";
constexpr const char* kPercentLabel = "Prosent done of converting files:";

constexpr int kHighestCountedBitmap = 249;

// At most the message row's width in bytes, never ending inside a UTF-8
// character (a cut one would show as a stray sign).
std::string CutToWidth(std::string text) {
  const auto width = static_cast<size_t>(kMessageWidth);
  if (text.size() <= width) return text;
  size_t end = width;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

std::string Rule(char left, char right) {
  std::string line(static_cast<size_t>(kBoxRight - kBoxLeft + 1), kHorizontal);
  line.front() = left;
  line.back() = right;
  return line;
}

}  // namespace

void Screen::PrintAt(int column, int row, const std::string& text) { host_.WriteAt(column, row, text); }

void Screen::DrawProgressFrame() {
  if (!IsScreen()) return;  // a log has no box; its lines carry the labels
  host_.WriteBoxAt(kBoxLeft, kBoxTop, Rule(kTopLeft, kTopRight));
  host_.WriteBoxAt(kBoxLeft, 14, Rule(kTeeLeft, kTeeRight));
  host_.WriteBoxAt(kBoxLeft, 21, Rule(kTeeLeft, kTeeRight));
  host_.WriteBoxAt(kBoxLeft, kBoxBottom, Rule(kBottomLeft, kBottomRight));
  for (int row : {13, 15, 16, 17, 18, 19, 20, 22}) {
    host_.WriteBoxAt(kBoxLeft, row, std::string(1, kVertical));
    host_.WriteBoxAt(kBoxRight, row, std::string(1, kVertical));
  }
  PrintAt(kLabelColumn, 13, kInfoLabel);
  PrintAt(kLabelColumn, kBmpRow, kBmpLabel);
  PrintAt(kLabelColumn, kAlphaRow, kAlphaLabel);
  PrintAt(kLabelColumn, kTgaRow, kTgaLabel);
  PrintAt(kLabelColumn, kPtxRow, kPtxLabel);
  PrintAt(kLabelColumn, kPercentRow, kPercentLabel);
}

void Screen::ShowLabelled(int column, int row, const char* label, const std::string& text) {
  if (IsScreen()) {
    PrintAt(column, row, text);
  } else {
    PrintAt(column, row, std::string(label) + " " + text);
  }
}

void Screen::ShowStatus(const std::string& message) {
  ShowLabelled(kStatusColumn, kStatusRow, kInfoLabel, message);
}

void Screen::ShowField(Field field, const std::string& name) {
  switch (field) {
    case Field::kBmp:
      ShowLabelled(kFieldColumn, kBmpRow, kBmpLabel, name + "     ");
      break;
    case Field::kAlpha:
      ShowLabelled(kFieldColumn, kAlphaRow, kAlphaLabel, name + "     ");
      break;
    case Field::kTga:
      ShowLabelled(kFieldColumn, kTgaRow, kTgaLabel, name + "     ");
      break;
    case Field::kPtx:
      ShowLabelled(kFieldColumn, kPtxRow, kPtxLabel, name + "        ");
      break;
  }
}

void Screen::ShowPercent(int percent) {
  ShowLabelled(kPercentColumn, kPercentRow, kPercentLabel, std::to_string(percent) + "%");
}

void Screen::ShowError() { PrintAt(kFieldColumn, kErrorRow, "An error has occurred!"); }

void Screen::ShowToolMessages(const std::string& output) {
  std::vector<std::string> lines;
  std::string line;
  auto finish_line = [&] {
    // Lines of blanks carry nothing; the rows are too few to spend on them.
    if (line.find_first_not_of(' ') != std::string::npos) lines.push_back(line);
    line.clear();
  };
  for (const char c : output) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n' || c == '\r') {
      finish_line();
    } else if (byte < 0x20 || byte == 0x7F) {
      line += ' ';  // an escape sequence must not reach the terminal whole
    } else {
      line += c;
    }
  }
  finish_line();
  if (lines.empty()) return;

  if (!IsScreen()) {
    for (const std::string& text : lines) PrintAt(kMessageColumn, kMessageTop, text);
    return;
  }
  for (std::string& text : lines) {
    messages_.push_back(CutToWidth(std::move(text)));
    if (messages_.size() > static_cast<size_t>(kMessageRows)) messages_.pop_front();
  }
  // Each row is blanked first: a name outside ASCII takes fewer columns than
  // bytes, so padding the text could not be trusted to cover a longer line.
  for (size_t i = 0; i < messages_.size(); ++i) {
    const int row = kMessageTop + static_cast<int>(i);
    PrintAt(kMessageColumn, row, std::string(static_cast<size_t>(kMessageWidth), ' '));
    PrintAt(kMessageColumn, row, messages_[i]);
  }
}

int ProgressCounter::FindTotal(Host& host, const std::string& work_folder) {
  for (int n = kHighestCountedBitmap; n >= 0; --n) {
    char number[8];
    std::snprintf(number, sizeof number, "%04d", n);
    if (host.Exists(platform::JoinPath(work_folder, std::string(number) + ".bmp")) ||
        host.Exists(platform::JoinPath(work_folder, std::string(number) + "-1.bmp"))) {
      return n;
    }
  }
  return 0;
}

int ProgressCounter::ProgressPercent(Host& host, const std::string& work_folder) {
  if (total_ == 0) {
    // fshtool has finished before the first call, so the folder does not
    // change later: one search settles it, even when it finds nothing.
    if (!searched_) {
      total_ = FindTotal(host, work_folder);
      searched_ = true;
    }
    return 0;
  }
  ++done_;
  const int percent = (done_ * 100 + total_ - 1) / total_;
  // A list with more images than its highest bitmap number would go past 100.
  return std::min(percent, 100);
}

}  // namespace skinferry
