// The fixed console screen of a run: a box with a status pane, a file pane
// and a percentage pane, and the fields inside it.
//
// Texts that replace earlier ones in the same place carry trailing spaces
// that blank out the rest of a longer predecessor. When the output is a log
// instead of a screen, each field comes out as one "label text" line.
#pragma once

#include <deque>
#include <string>

#include "skinferry/host.h"

namespace skinferry {

// Field positions (column, row).
inline constexpr int kStatusColumn = 17, kStatusRow = 13;
inline constexpr int kFieldColumn = 27;
inline constexpr int kBmpRow = 15, kAlphaRow = 16, kTgaRow = 17, kPtxRow = 18, kErrorRow = 20;
inline constexpr int kPercentColumn = 58, kPercentRow = 22;
// The tools' own messages, where they share Skinferry's terminal: the free
// rows between the heading and the pack's name, newest last.
inline constexpr int kMessageColumn = 9, kMessageTop = 4, kMessageRows = 4, kMessageWidth = 70;

enum class Field { kBmp, kAlpha, kTga, kPtx };

class Screen {
 public:
  explicit Screen(Host& host) : host_(host) {}

  bool IsScreen() const { return host_.IsScreen(); }
  void PrintAt(int column, int row, const std::string& text);
  // The box and its six labels; no field contents.
  void DrawProgressFrame();

  // `message` already carries its blanking spaces.
  void ShowStatus(const std::string& message);
  // The name followed by its field's blanking spaces (8 for PTX, else 5).
  void ShowField(Field field, const std::string& name);
  void ShowPercent(int percent);
  void ShowError();
  // What a tool printed, line by line: each shown in the message rows,
  // control characters made harmless and long lines cut, so nothing a
  // tool says can move or overwrite the box. A log gets the lines as they are.
  void ShowToolMessages(const std::string& output);

 private:
  void ShowLabelled(int column, int row, const char* label, const std::string& text);

  Host& host_;
  std::deque<std::string> messages_;  // the rows as shown, newest last
};

// The percentage of the image about to be converted, from the highest
// four-digit bitmap number in the work folder.
class ProgressCounter {
 public:
  int ProgressPercent(Host& host, const std::string& work_folder);

 private:
  int FindTotal(Host& host, const std::string& work_folder);

  int total_ = 0;
  int done_ = 0;
  bool searched_ = false;
};

}  // namespace skinferry
