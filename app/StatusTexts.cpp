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

std::string ScanHeldBackText(size_t pagesQueued) {
  return "The scan is waiting for the disk: " + PagesText(pagesQueued) + " queued";
}

std::string FailedPageText(const std::string &reason, const std::string &fileName, size_t failedPages) {
  std::string text = reason.empty() ? std::string("Not written") : reason;
  text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text + ": " + PagesText(failedPages) + " not saved, the last " + fileName;
}

std::string UnsavedPagesText(const TWriterState &state, const std::string &unsavedFolder) {
  std::string text;
  if (state.Unsaved > 0)
    text = PagesText(state.Unsaved) + " could not be written to " + (state.Unsaved == 1 ? "its" : "their") +
           " folder and " + (state.Unsaved == 1 ? "was" : "were") + " saved in " + unsavedFolder;
  if (state.Lost > 0)
    text += std::string(text.empty() ? "" : "\n") + PagesText(state.Lost) + " could not be saved anywhere.";
  return text;
}
