// The words the status line and the closing box use for the writer's state.
#pragma once

#include "writer/uSaveThread.h"

#include <cstddef>
#include <string>

// "1 page", "3 pages".
std::string PagesText(size_t count);

// The status line for the writer's state, or empty when it has nothing to say:
// closing: "Writing 3 pages…"; a wait: "3 pages waiting: the disk is full".
std::string WriterStatusText(const TWriterState &state, bool closing);

// While the queue's budget holds the scan back: the folder the writer is busy with.
std::string ScanHeldBackText(size_t pagesQueued, const std::string &folder);

// A page that could not be written: the reason first, the count so far, then the file.
std::string FailedPageText(const std::string &reason, const std::string &fileName, size_t failedPages);

// The box at the end when pages went into the unsaved folder or could be kept nowhere (named, so
// that their sheets can be scanned again).
std::string UnsavedPagesText(const TWriterState &state, const std::string &unsavedFolder);

// Pages that waited for a folder went to the one the person gave.
std::string FolderTakenText(size_t pagesSent, const std::string &folder);
// Blank sides went among the other pages, since the folder Blank cannot take them, and why.
std::string BlankSidesNotSetAsideText(const std::string &why);
// A folder given that no page can ever be written into, and why.
std::string FolderUnusableText(const std::string &folder, const std::string &reason);
// A folder taken whose pages will wait, and why (its drive is not there now).
std::string FolderNotThereText(const std::string &folder, const std::string &reason);
// Pages queued and never written when the station last ended without closing (a crash, a power
// cut): the status line names them, and the box names them with when they were scanned.
std::string PagesLostInACrashText(const std::vector<TJournalPage> &pages);
std::string PagesLostInACrashBoxText(const std::vector<TJournalPage> &pages);
// The crash journal cannot be written: scanning goes on, but a crash would lose pages unnamed.
std::string JournalProblemText(const std::string &reason);
// config.ini could not be written.
std::string SettingsNotSavedText(const std::string &fileName);

// The person stopped the batch: what is left stays in the feeder.
std::string BatchStoppedText();
std::string BatchStoppedAutoWaitsText();

// The scanner says no side of a page and its own blank-page removal is on.
std::string ScannerDropsBlankPagesText();

// A double feed (TWCC_PAPERDOUBLEFEED) or a paper jam: which sheets to put back on the stack, told
// by the last page queued before it (none: the batch's first sheet), and whether that page is a
// front whose back never came (its sheet is scanned again whole).
bool IsPaperFault(int condition);
std::string PaperFaultText(int condition, const std::string &lastPage, bool sheetOpen);

// After a batch with blank sides set aside: how many went to the Blank folder inside the output
// folder, so the person knows where to look; empty when none did.
std::string BlankSidesSetAsideText(size_t blankSides, const std::string &outputFolder);
