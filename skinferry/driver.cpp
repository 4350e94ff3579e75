#include "skinferry/driver.h"

#include <cctype>
#include <vector>

#include "platform/platform.h"
#include "roadfire_version.h"
#include "skinferry/conversion.h"
#include "skinferry/image_list.h"
#include "skinferry/output_list.h"
#include "skinferry/screen.h"

namespace skinferry {

namespace {

// Windows also takes '/' between names; elsewhere it is the only separator.
bool IsSeparator(char c) { return c == platform::kPathSeparator || c == '/'; }

size_t LastSeparator(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i - 1;
  }
  return std::string::npos;
}

std::string AfterLastSeparator(const std::string& path) {
  const size_t at = LastSeparator(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() && Lowered(text.substr(text.size() - ending.size())) == ending;
}

// The pack's name without its ending; it names the output folder.
std::string PackStem(const std::string& fsh_file_name) {
  return fsh_file_name.substr(0, fsh_file_name.size() >= 4 ? fsh_file_name.size() - 4 : 0);
}

// Texts shown in the status line, each with the spaces that blank out the
// longest text it can replace.
const std::string kStatusUnpacking = "Converting the fsh file to bmp's....      ";
const std::string kStatusUnpacked = "Finished converting the fsh file to bmp's     ";
const std::string kStatusOpeningList = "Opening the index file(filelist)...              ";
const std::string kStatusStarting = "Starts converting bmps to ptxs    ";
const std::string kStatusConverting = "Converting bmp's to tga                      ";
const std::string kStatusFinished = "Converting to ptx finished!              ";

constexpr int kLeft = 9;

void DeleteWorkFolder(Host& host, const std::string& work_folder) {
  // A link (or junction) planted in its place is removed as a link: what it
  // leads to is none of Skinferry's business.
  if (host.IsLink(work_folder)) {
    host.RemoveLink(work_folder);
    return;
  }
  // Only the files directly inside: a sub-folder (and so the folder) stays.
  for (const HostEntry& entry : host.ListFolder(work_folder)) {
    if (!entry.is_folder) host.DeleteFileForced(platform::JoinPath(work_folder, entry.name));
  }
  host.RemoveEmptyFolder(work_folder);
}

// Deletes the TGA files directly inside the output folder as the command
// interpreter's del *.tga would, without handing the folder's name to an
// interpreter that could split it at a space: read-only and hidden files
// are the user's and stay.
void DeleteTgaFiles(Host& host, const std::string& output_folder) {
  for (const HostEntry& entry : host.ListFolder(output_folder)) {
    if (!entry.is_folder && !entry.read_only && !entry.hidden && EndsWithIgnoringCase(entry.name, ".tga")) {
      host.DeleteFileUnlessReadOnly(platform::JoinPath(output_folder, entry.name));
    }
  }
}

// fshtool fills the work folder; it must be a real folder of this run, not a
// link that leads the bitmaps into a folder of the user's. A link is removed
// and a real folder made at once, and the check comes after both, so a link
// planted in between is caught too. False when a link stays (one that this
// user may not remove, such as another user's in a shared temporary folder).
bool PrepareWorkFolder(Host& host, const std::string& work_folder) {
  if (host.IsLink(work_folder)) host.RemoveLink(work_folder);
  host.CreateFolder(work_folder);
  return !host.IsLink(work_folder);
}

class Run {
 public:
  Run(Host& host, StartupValues values)
      : host_(host),
        values_(std::move(values)),
        screen_(host),
        converter_(host, screen_, values_.program_folder),
        reader_(host, values_.work_folder, values_.output_folder),
        list_(host) {}

  void Execute();

 private:
  void ShowUsage();
  void ShowArgumentError();
  bool ArgumentAccepted();
  void ConvertPack();
  bool ConvertEntry();
  void RunTool(const std::string& program, const std::string& parameters, const std::string& folder);
  void TakeErrorPath(const char* what);
  void Close();

  Host& host_;
  StartupValues values_;
  Screen screen_;
  Converter converter_;
  ImageListReader reader_;
  OutputList list_;
  ProgressCounter progress_;
  ImageEntry entry_;
  bool work_folder_ok_ = true;
};

void Run::Execute() {
  // Relative paths (the argument, fshtool) are taken from the program folder.
  host_.SetCurrentFolder(values_.program_folder);
  DeleteWorkFolder(host_, values_.work_folder);

  host_.ClearScreen();
  host_.SetTitle("Skinferry");
  // The heading names the release's major and minor number: "Skinferry v1.0."
  // for every 1.0 release.
  screen_.PrintAt(kLeft, 2, "Skinferry v" ROADFIRE_VERSION_MAJOR_MINOR ".");
  screen_.PrintAt(kLeft, 3, std::string(42, '-'));

  if (values_.fsh_argument.empty()) {
    ShowUsage();
    return;
  }
  if (!ArgumentAccepted()) {
    ShowArgumentError();
    return;
  }
  ConvertPack();
  Close();
}

void Run::ShowUsage() {
  screen_.PrintAt(kLeft, 9, "Usages: " + values_.executable_name + " [the fsh file]");
  screen_.PrintAt(kLeft, 10, "The convertet ptx's will be made in this dir:");
  screen_.PrintAt(kLeft, 12, platform::JoinPath(values_.program_folder, "[the fsh file]"));
  screen_.PrintAt(kLeft, 15, "Press enter for exit:");
  host_.PlaceCursor(kLeft, 16);
  host_.WaitForEnter();
}

void Run::ShowArgumentError() {
  screen_.PrintAt(kLeft, 9, "The file dosen't exist or have wrong extension(not .fsh)");
  screen_.PrintAt(kLeft, 10, "Press Enter key to quit");
  host_.PlaceCursor(kLeft, 11);
  host_.WaitForEnter();
}

bool Run::ArgumentAccepted() {
  const std::string& argument = values_.fsh_argument;
  if (!EndsWithIgnoringCase(argument, "fsh") || !host_.Exists(argument)) return false;
  // A pack named ".fsh", "..fsh" or "...fsh" would make the program folder
  // or its parent the output folder, whose TGA files the run deletes.
  const std::string stem = PackStem(values_.fsh_file_name);
  return !stem.empty() && stem != "." && stem != "..";
}

void Run::ConvertPack() {
  screen_.PrintAt(kLeft, 8, "Name of fshfile: " + values_.fsh_file_name);
  screen_.PrintAt(kLeft, 9, "Covertet PTX's will be made in this dir:");
  screen_.PrintAt(kLeft, 11, values_.output_folder);
  screen_.DrawProgressFrame();

  screen_.ShowStatus(kStatusUnpacking);
  // Without a work folder of its own the run has no list: nothing is
  // unpacked through a link, nor read back from one.
  work_folder_ok_ = PrepareWorkFolder(host_, values_.work_folder);
  if (work_folder_ok_) {
    RunTool(platform::JoinPath("needed_Exes", "fshtool.exe"),
            "\"" + values_.fsh_argument + "\" \"" + values_.work_folder + "\"", values_.program_folder);
  }
  screen_.ShowStatus(kStatusUnpacked);
  host_.Sleep(500);

  screen_.ShowStatus(kStatusOpeningList);
  const ReadResult first = work_folder_ok_ ? reader_.ReadFirstImage(entry_) : ReadResult::kEndOfList;
  screen_.ShowStatus(kStatusStarting);
  host_.CreateFolder(values_.output_folder);
  list_.Create(values_.output_folder);

  // An empty or missing list, or a first bitmap that exists under no
  // number, has nothing to convert: that is a list error, not a success.
  if (first != ReadResult::kFound) return TakeErrorPath("reading th index.fsh file");
  if (!ConvertEntry()) return TakeErrorPath("converting bmp to tga");
  host_.Sleep(50);
  screen_.ShowStatus(kStatusConverting);

  std::string previous_name = "first";
  while (true) {
    const ReadResult next = reader_.ReadNextImage(entry_);
    // The list is done when nothing more is found, the single-image list
    // included, or when a line resolves to the bitmap just converted.
    if (next == ReadResult::kEndOfList || entry_.bmp_name == previous_name) break;
    previous_name = entry_.bmp_name;
    if (next == ReadResult::kNoBitmap) return TakeErrorPath("reading th index.fsh file");
    if (!ConvertEntry()) return TakeErrorPath("converting bmp to tga");
    host_.Sleep(50);
  }
  screen_.ShowStatus(kStatusFinished);
}

void Run::RunTool(const std::string& program, const std::string& parameters, const std::string& folder) {
  std::string messages;
  host_.StartAndWait(program, parameters, folder, messages);
  screen_.ShowToolMessages(messages);
}

bool Run::ConvertEntry() {
  screen_.ShowField(Field::kBmp, entry_.bmp_name);
  screen_.ShowField(Field::kAlpha, entry_.alpha_name);
  screen_.ShowField(Field::kTga, entry_.tga_name);
  screen_.ShowPercent(progress_.ProgressPercent(host_, values_.work_folder));
  if (!converter_.MergeAlpha(platform::JoinPath(values_.work_folder, entry_.bmp_name),
                             AlphaArgument(values_.work_folder, entry_.alpha_name),
                             platform::JoinPath(values_.output_folder, entry_.tga_name))) {
    return false;
  }
  list_.WriteLine(converter_.EncodePtx(entry_.tga_name, values_.output_folder));
  return true;
}

void Run::TakeErrorPath(const char* what) {
  screen_.ShowError();
  list_.WriteLine(std::string("An error has occurred while ") + what + "!: BMPfile: " + entry_.bmp_name +
                  " Alphafile: " + entry_.alpha_name + " TGA-file: " + entry_.tga_name);
}

void Run::Close() {
  reader_.CloseImageList();
  list_.Close();
  if (work_folder_ok_) CopyImageList(host_, values_.work_folder, values_.output_folder);
  DeleteWorkFolder(host_, values_.work_folder);
  DeleteTgaFiles(host_, values_.output_folder);
  host_.PlaceCursor(kLeft, 24);
  host_.WaitForEnter();
}

}  // namespace

std::string LongPathForm(Host& host, const std::string& path) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    pieces.push_back(path.substr(start, end - start));
    if (end >= path.size()) break;
    start = end + 1;
  }
  std::string result = pieces.front();
  size_t i = 1;
  // A network path (\\server\share) keeps its two leading separators and
  // its server name, which no folder search can spell.
  if (pieces.size() > 2 && pieces[0].empty() && pieces[1].empty() && !pieces[2].empty()) {
    result = std::string(2, platform::kPathSeparator) + pieces[2];
    i = 3;
  }
  for (; i < pieces.size(); ++i) {
    // Only empty pieces at the end end the path. A run of separators inside
    // one (a TMPDIR of "/tmp//x/") names the same folder; stopping at it
    // would put the work folder, which the run empties, in a parent folder.
    if (pieces[i].empty()) {
      size_t next = i;
      while (next < pieces.size() && pieces[next].empty()) ++next;
      if (next == pieces.size()) break;
      continue;
    }
    std::string candidate = result + platform::kPathSeparator + pieces[i];
    const std::optional<std::string> stored = host.StoredName(candidate);
    result += platform::kPathSeparator;
    result += stored ? *stored : pieces[i];
  }
  return result;
}

StartupValues WorkOutStartupValues(Host& host, const std::string& fsh_argument) {
  StartupValues values;
  values.executable_path = host.ExecutablePath();
  values.executable_name = AfterLastSeparator(values.executable_path);
  const size_t last = LastSeparator(values.executable_path);
  values.program_folder = LongPathForm(
      host, last == std::string::npos ? std::string(".") : values.executable_path.substr(0, last + 1));
  values.fsh_argument = fsh_argument;
  values.fsh_file_name = AfterLastSeparator(fsh_argument);
  values.output_folder = platform::JoinPath(values.program_folder, PackStem(values.fsh_file_name));

  const std::string temp = LongPathForm(host, host.TempFolder());
  values.work_folder =
      (!temp.empty() && IsSeparator(temp.back())) ? temp + "TPC" : temp + platform::kPathSeparator + "TPC";
  return values;
}

int RunSkinferry(Host& host, const std::string& fsh_argument) {
  Run(host, WorkOutStartupValues(host, fsh_argument)).Execute();
  return 0;
}

}  // namespace skinferry
