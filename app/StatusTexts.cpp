#include "app/StatusTexts.h"

#include <cctype>

std::string PagesText(size_t count) { return std::to_string(count) + (count == 1 ? " page" : " pages"); }

std::string WriterStatusText(const TWriterState &state, bool closing) {
  if (closing && state.Pages > 0)
    return "Writing " + PagesText(state.Pages) + "\x85"; // the ellipsis of the ANSI code page
  if (state.Waiting())
    return PagesText(state.Pages) + " waiting: " + state.WaitReason;
  return std::string();
}

std::string ScanHeldBackText(size_t pagesQueued, const std::string &folder) {
  return "The scan waits while pages are written to " + (folder.empty() ? std::string("disk") : folder) +
         ": " + PagesText(pagesQueued) + " queued";
}

std::string FailedPageText(const std::string &reason, const std::string &fileName, size_t failedPages) {
  std::string text = reason.empty() ? std::string("Not written") : reason;
  text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text + ": " + PagesText(failedPages) + " not saved, the last " + fileName;
}

namespace {

// The sheets to scan again, by their file names; a long list ends with how many more.
std::string NamesOfPagesNotWritten(const std::vector<std::string> &names) {
  constexpr size_t kNamesShown = 20;
  std::string text;
  for (size_t i = 0; i < names.size() && i < kNamesShown; ++i) {
    const size_t slash = names[i].find_last_of("\\/");
    text += "\n" + (slash == std::string::npos ? names[i] : names[i].substr(slash + 1));
  }
  if (names.size() > kNamesShown)
    text += "\nand " + std::to_string(names.size() - kNamesShown) + " more";
  return text;
}

} // namespace

namespace {

constexpr size_t kLostNamesShown = 20;

// "yyyymmddhhmmsszzz" as "yyyy-mm-dd hh:mm:ss"; as it is when it has another form.
std::string ShownTime(const std::string &stamp) {
  if (stamp.size() != 17)
    return stamp;
  return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " + stamp.substr(8, 2) +
         ":" + stamp.substr(10, 2) + ":" + stamp.substr(12, 2);
}

std::string MoreText(size_t count) {
  return count > kLostNamesShown ? "and " + std::to_string(count - kLostNamesShown) + " more" : std::string();
}

} // namespace

std::string PagesLostInACrashText(const std::vector<TJournalPage> &pages) {
  // Short enough for the status line whole: the names are in the box, with when each was scanned.
  return PagesText(pages.size()) + " of the last run " + (pages.size() == 1 ? "was" : "were") +
         " never written: see the box for the sheets to scan again";
}

std::string PagesLostInACrashBoxText(const std::vector<TJournalPage> &pages) {
  std::string text = "The station ended last time before " + PagesText(pages.size()) + " " +
                     (pages.size() == 1 ? "was" : "were") + " written. Scan these sheets again:";
  for (size_t i = 0; i < pages.size() && i < kLostNamesShown; ++i)
    text += "\n" + pages[i].FileName + "  (scanned " + ShownTime(pages[i].QueuedAt) + ")";
  const std::string more = MoreText(pages.size());
  return more.empty() ? text : text + "\n" + more;
}

std::string JournalProblemText(const std::string &reason) {
  return "Pages lost in a crash could not be named: the journal cannot be written (" + reason + ")";
}

std::string UnsavedPagesText(const TWriterState &state, const std::string &unsavedFolder) {
  std::string text;
  if (state.Unsaved > 0)
    text = PagesText(state.Unsaved) + " could not be written to " + (state.Unsaved == 1 ? "its" : "their") +
           " folder and " + (state.Unsaved == 1 ? "was" : "were") + " saved in " + unsavedFolder;
  const size_t notWritten = state.Lost + state.Refused;
  if (notWritten > 0)
    text +=
        std::string(text.empty() ? "" : "\n") + PagesText(notWritten) +
        " could not be saved anywhere; scan these sheets again:" + NamesOfPagesNotWritten(state.NotWritten);
  return text;
}

std::string FolderTakenText(size_t pagesSent, const std::string &folder) {
  return PagesText(pagesSent) + " that waited " + (pagesSent == 1 ? "goes" : "go") + " to " + folder;
}

std::string BlankSidesNotSetAsideText(const std::string &why) {
  return "Blank sides cannot be set aside: " + why;
}

std::string FolderUnusableText(const std::string &folder, const std::string &reason) {
  return "The folder " + folder + " cannot be used: " + reason;
}

std::string FolderNotThereText(const std::string &folder, const std::string &reason) {
  return "The folder " + folder + " is taken; " + reason;
}

std::string SettingsNotSavedText(const std::string &fileName) {
  return "The output folder is not remembered: " + fileName + " cannot be written";
}

std::string BatchStoppedText() { return "Stopped: the sheets not scanned are still in the feeder"; }

std::string BatchStoppedAutoWaitsText() {
  return "Stopped: the sheets not scanned are still in the feeder; Auto waits for Go.. or Auto ticked again";
}

std::string ScannerDropsBlankPagesText() {
  return "The scanner drops blank pages: pages may be named F/B wrongly; turn it off in Show Config";
}

// TWCC_PAPERJAM, TWCC_PAPERDOUBLEFEED
bool IsPaperFault(int condition) { return condition == 20 || condition == 21; }

std::string PaperFaultText(int condition, const std::string &lastPage, bool sheetOpen) {
  const std::string fault = condition == 21 ? "Double feed" : "Paper jam";
  const std::string name = lastPage.substr(lastPage.find_last_of("\\/") + 1);
  if (name.empty())
    return fault + ": put this batch's sheets back, then Continue";
  if (sheetOpen)
    return fault + ": scan again from the sheet of " + name + ", then Continue";
  return fault + " after " + name + ": put the next sheets back, then Continue";
}

std::string BlankSidesSetAsideText(size_t blankSides, const std::string &outputFolder) {
  if (blankSides == 0)
    return std::string();
  std::string folder = outputFolder;
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/')
    folder += '\\';
  return std::to_string(blankSides) + (blankSides == 1 ? " blank side" : " blank sides") + " set aside in " +
         folder + "Blank\\";
}
