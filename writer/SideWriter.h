// The writer's look at each side before it writes it: a blank side, when the person asked for
// blank sides to be set aside, is written under its own name into "Blank\" inside its folder, so
// that nothing is lost and a page can be taken back; when that folder cannot take it (a file
// named Blank, no right to make folders, a path too long) it goes among the folder's other pages
// and the reason is told, and no page ever waits for it. The side's small picture is made from
// the pixels already in memory. Runs on the writer's thread.
#pragma once

#include "image/SidePicture.h"
#include "writer/uSaveThread.h"

#include <functional>
#include <string>

// What the writer tells the window of a side it wrote.
struct TSideWritten {
  std::string FileName; // as written
  bool Back = false;    // the name's side letter is "B"
  bool Blank = false;   // a blank side: in the Blank folder, unless NotSetAside was told why not
  unsigned Batch = 0;
  unsigned Sheet = 0; // the sheet it belongs to: its front and back share it
  TSidePicture Picture;
};

// The name of a page in the Blank folder inside its own folder: "...\Blank\<name>".
std::string BlankFolderName(const std::string &fileName);

struct TSideWriterOptions {
  TSaveThread::TPageWriter Write;                   // empty: WritePage
  std::function<void(TSideWritten &&side)> Written; // a side was written; empty: not told
  // A blank side was written among its folder's other pages, since the Blank folder could not
  // take it; the reason in words ("a file named Blank is in the way"). Empty: not told.
  std::function<void(const std::string &why)> NotSetAside;
};

// A page writer for the writer thread's options.
TSaveThread::TPageWriter SideWriter(TSideWriterOptions options);
