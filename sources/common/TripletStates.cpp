#include "sources/common/TripletStates.h"

#include "sources/common/TwainProtocol.h"

namespace dscommon {
namespace {

struct Row {
  TW_UINT32 dg;
  TW_UINT16 dat;
  TW_UINT16 msg;
  StateSpan states;
};

constexpr Row kRows[] = {
    {DG_CONTROL, DAT_CAPABILITY, MSG_GET, {4, 7}},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, {4, 7}},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETDEFAULT, {4, 7}},
    {DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, {4, 7}},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETHELP, {4, 7}},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETLABEL, {4, 7}},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETLABELENUM, {4, 7}},
    {DG_CONTROL, DAT_CAPABILITY, MSG_SET, {4, 4}},
    {DG_CONTROL, DAT_CAPABILITY, MSG_SETCONSTRAINT, {4, 4}},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESET, {4, 4}},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, {4, 4}},
    // An application that routes every message through the source once it is open asks in state 4
    // too: nothing there is the source's.
    {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, {4, 7}},
    {DG_CONTROL, DAT_IDENTITY, MSG_GET, {3, 7}},
    {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, {3, 7}}, // an open source answers TWCC_MAXCONNECTIONS
    // Closing ends a batch still going: applications close after an error or at their end
    // without disabling first, and a source manager drops the source whatever it answers.
    {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, {4, 7}},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, {4, 7}},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, {6, 7}},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, {6, 6}},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, {6, 6}},
    {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, {4, 6}},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, {4, 6}},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GETDEFAULT, {4, 6}},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, {4, 6}},
    {DG_CONTROL, DAT_SETUPFILEXFER, MSG_RESET, {4, 4}},
    {DG_CONTROL, DAT_STATUS, MSG_GET, {3, 7}},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, {4, 4}},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, {4, 4}},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, {5, 5}},
    {DG_CONTROL, DAT_XFERGROUP, MSG_GET, {4, 6}},
    {DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, {3, 4}},
    {DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, {4, 4}},
    {DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, {4, 4}},
    {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, {6, 7}},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, {4, 6}},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GETDEFAULT, {4, 6}},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, {4, 4}},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET, {4, 4}},
    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, {6, 7}},
    {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, {6, 6}},
    {DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, {6, 6}},
    {DG_IMAGE, DAT_PALETTE8, MSG_GET, {4, 6}},
    {DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, {7, 7}},
};

} // namespace

StateSpan StatesOf(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) {
  for (const Row &row : kRows)
    if (row.dg == dg && row.dat == dat && row.msg == msg)
      return row.states;
  return StateSpan{};
}

} // namespace dscommon
