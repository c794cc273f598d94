// The station's only window: output folder, scan controls, progress and status line.
#pragma once

#include "app/BatchControl.h"
#include "app/BatchCounts.h"
#include "app/ControlIds.h"
#include "app/PageNaming.h"
#include "app/ProgressBar.h"
#include "app/ScannerLink.h"
#include "app/SettingsStore.h"
#include "app/SideNews.h"
#include "app/StationShutdown.h"
#include "app/StatusLine.h"
#include "app/ThreadText.h"
#include "win/Owners.h"
#include "writer/uSaveThread.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

class TfMain {
public:
  // Creates the window and its controls and runs the start-up sequence; the window stays
  // hidden until Show.
  TfMain();
  ~TfMain() = default;
  TfMain(const TfMain &) = delete;
  TfMain &operator=(const TfMain &) = delete;

  void Show();
  HWND Handle() const { return Hwnd; }

  // Posted by the writer thread's failure report; shown in the status line.
  static constexpr UINT kWriteFailedMessage = WM_APP + 1;
  // Posted by the writer thread when a wait for a folder begins or ends, or a page goes at the end.
  static constexpr UINT kWriterStateMessage = WM_APP + 2;
  // Posted by the writer thread for an exception: the "Thread Error" box, owned by this window.
  static constexpr UINT kThreadErrorMessage = WM_APP + 3;
  // Posted at start-up when the last run ended with pages never written: the box that names them.
  static constexpr UINT kPagesLostMessage = WM_APP + 4;
  // Posted by the writer thread when it wrote sides: blank ones set aside, new small pictures.
  static constexpr UINT kSideNewsMessage = WM_APP + 8;
  static constexpr UINT_PTR kCheckTimerId = station::idTmCheck;
  // The last sheet's two sides, right of the controls.
  static constexpr int kPicturesLeft = 481, kPicturesTop = 16, kPictureWidth = kSidePictureWidth,
                       kPictureHeight = kSidePictureHeight, kPictureGap = 12;

private:
  // Start-up and shutdown, in the order the station relies on.
  void FormCreate();
  void FormDestroy();
  void SetUpScanner();

  void btGoClick();
  // Stop, or Esc: the running batch ends between sheets, and Auto waits for the person.
  void StopClick();
  void cbAutoClick();
  void tmCheckTimer();
  void eDirBrowseClick();
  void cbBlankAsideClick();

  // A page was handed to the writer: the counts move on (never per row of a page).
  void PageHandled(const TScannedPage &page);
  // Before each page of a batch: the person's input is looked at, whatever the driver does.
  void BetweenPages();
  // The day by the station's clock, "yyyymmdd".
  std::string DayKey() const;
  // At once, or (during a batch) with the progress bar's next paint.
  void ShowCounts(bool now = true);
  void RememberToday();
  void TakeSideNews();
  // After a batch: how many of its sides went to Blank\, unless the status line says more.
  void SayBlankSides();
  void PaintPictures(HDC dc);

  std::string SettingsFileName() const;
  std::string UnsavedFolder() const;
  std::string OutputFolderText() const;
  void SetOutputFolderText(const std::string &text);
  // The status line's own message (errors); the writer's state is shown over it while it lasts.
  void SetStatus(const std::string &text);
  void RefreshStatus();
  TSaveThread::Options WriterOptions();
  // The person gives the folder in the field (Enter, leaving the field, Browse, a batch's start):
  // pages named from now on go there, and so do pages waiting for a folder that cannot take them.
  // Never a text still being typed.
  // False when the folder is refused (said in the status line): nothing is scanned for it.
  bool GiveOutputFolder();
  std::string FolderToRemember() const;
  void RememberOutputFolder();
  static LRESULT CALLBACK FolderFieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR self);
  bool WaitForQueueRoom(HANDLE spaceFreed);
  bool EndAsked() const;
  void QueuePage(std::unique_ptr<TSaveRec> rec);
  void ShowThreadError();
  void StartJournal();
  void ShowPagesLostInACrash();
  std::string DefaultOutputFolder() const;
  bool IsTicked(HWND checkBox) const;

  // Called on the writer thread: keeps the text and asks the window to show it.
  void WriteFailed(const std::string &fileName, const std::string &reason);
  void ShowWriteFailure();

  void CreateControls();
  void FitClientArea();
  void Rescale(UINT dpi);
  void InvalidatePictures();
  static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void HandleCommand(int id, int code);
  bool BatchHoldsClose();

  HWND Hwnd = nullptr;
  UINT Dpi = 96; // of the monitor the window is on: the design's pixels are scaled to it
  win::UniqueFont Font;
  HWND btGo = nullptr, cbShowConfig = nullptr, pb = nullptr, cbAuto = nullptr;
  HWND eDir = nullptr, eDirBrowse = nullptr, lbStatus = nullptr;
  HWND cbBlankAside = nullptr, lbCounts = nullptr;
  std::unique_ptr<TPageProgress> Progress; // the view of pb during a transfer
  std::unique_ptr<TStatusLine> Status;
  std::string StatusMessage;
  bool ScanHeldBack = false;    // the queue's budget holds the scan back
  size_t FailedPages = 0;       // writer thread only
  std::string GivenFolder;      // where pages are named into
  std::string SavedFolder;      // the folder config.ini holds
  bool FolderSaid = false;      // the status line says something about the folder given last
  bool Started = false;         // start-up is over: every part below exists
  bool CloseAskedEarly = false; // a close during start-up comes again at its end
  TBatchCounts Counts;
  unsigned CurrentBatch = 0; // the batch of the page being handed over
  std::unique_ptr<TCountsLine> CountsLine;
  TSheetPictures Pictures;
  std::unique_ptr<TBatchControl> Batches;
  std::function<SYSTEMTIME()> Clock; // the station's: pages' stamps and the day's count
  std::string BlankSidesSaid;        // the status line's last count of blank sides
  unsigned BlankDropWarned = 0;      // the batch told that the scanner drops blank pages

  // Declared before the writer: its failure reports use it until the writer has stopped.
  std::unique_ptr<TThreadText> WriteFailures;
  std::unique_ptr<TThreadText> ThreadErrors;
  std::unique_ptr<TSideNews> SideNews;

  std::string DataDir;
  std::unique_ptr<TSettingsStore> Settings;
  std::unique_ptr<TPageJournal> Journal; // before the writer, which notes every page in it
  std::unique_ptr<TSaveThread> SaveThread;
  std::unique_ptr<TStationShutdown> Shutdown; // uses the writer and the settings
  std::unique_ptr<TPageHandOff> Pages;        // keeps BackSide and PageStamp
  std::unique_ptr<TScannerLink> Scanner;      // after Pages: its events use them

  // Last, so it is destroyed first: destroying the window runs the shutdown, which needs
  // every other member.
  win::UniqueWindow Window;
};
