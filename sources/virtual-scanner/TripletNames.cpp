#include "sources/virtual-scanner/TripletNames.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace vscan {
namespace {

struct Named {
  uint32_t value;
  const char *name;
};

constexpr Named kDg[] = {{1, "CONTROL"}, {2, "IMAGE"}, {4, "AUDIO"}};
constexpr Named kDat[] = {{0x0000, "NULL"},          {0x0001, "CAPABILITY"},
                          {0x0002, "EVENT"},         {0x0003, "IDENTITY"},
                          {0x0004, "PARENT"},        {0x0005, "PENDINGXFERS"},
                          {0x0006, "SETUPMEMXFER"},  {0x0007, "SETUPFILEXFER"},
                          {0x0008, "STATUS"},        {0x0009, "USERINTERFACE"},
                          {0x000A, "XFERGROUP"},     {0x0403, "ENTRYPOINT"},
                          {0x0101, "IMAGEINFO"},     {0x0102, "IMAGELAYOUT"},
                          {0x0103, "IMAGEMEMXFER"},  {0x0104, "IMAGENATIVEXFER"},
                          {0x0105, "IMAGEFILEXFER"}, {0x010A, "PALETTE8"}};
constexpr Named kMsg[] = {
    {0x0000, "NULL"},           {0x0001, "GET"},          {0x0002, "GETCURRENT"}, {0x0003, "GETDEFAULT"},
    {0x0004, "GETFIRST"},       {0x0005, "GETNEXT"},      {0x0006, "SET"},        {0x0007, "RESET"},
    {0x0008, "QUERYSUPPORT"},   {0x0101, "XFERREADY"},    {0x0102, "CLOSEDSREQ"}, {0x0103, "CLOSEDSOK"},
    {0x0104, "DEVICEEVENT"},    {0x0301, "OPENDSM"},      {0x0302, "CLOSEDSM"},   {0x0401, "OPENDS"},
    {0x0402, "CLOSEDS"},        {0x0403, "USERSELECT"},   {0x0501, "DISABLEDS"},  {0x0502, "ENABLEDS"},
    {0x0503, "ENABLEDSUIONLY"}, {0x0601, "PROCESSEVENT"}, {0x0701, "ENDXFER"},    {0x0702, "STOPFEEDER"}};
constexpr Named kRc[] = {
    {0, "SUCCESS"},    {1, "FAILURE"},  {2, "CHECKSTATUS"}, {3, "CANCEL"},           {4, "DSEVENT"},
    {5, "NOTDSEVENT"}, {6, "XFERDONE"}, {7, "ENDOFLIST"},   {8, "INFONOTSUPPORTED"}, {9, "DATANOTAVAILABLE"}};
constexpr Named kCc[] = {{0, "SUCCESS"},          {1, "BUMMER"},
                         {2, "LOWMEMORY"},        {3, "NODS"},
                         {4, "MAXCONNECTIONS"},   {5, "OPERATIONERROR"},
                         {6, "BADCAP"},           {9, "BADPROTOCOL"},
                         {10, "BADVALUE"},        {11, "SEQERROR"},
                         {12, "BADDEST"},         {13, "CAPUNSUPPORTED"},
                         {14, "CAPBADOPERATION"}, {15, "CAPSEQERROR"},
                         {16, "DENIED"},          {17, "FILEEXISTS"},
                         {18, "FILENOTFOUND"},    {19, "NOTEMPTY"},
                         {20, "PAPERJAM"},        {21, "PAPERDOUBLEFEED"},
                         {22, "FILEWRITEERROR"},  {23, "CHECKDEVICEONLINE"}};

struct Table {
  const Named *begin;
  const Named *end;
  const char *prefix;
};

Table TableOf(NameKind kind) {
  switch (kind) {
  case NameKind::Dg:
    return {std::begin(kDg), std::end(kDg), "DG_"};
  case NameKind::Dat:
    return {std::begin(kDat), std::end(kDat), "DAT_"};
  case NameKind::Msg:
    return {std::begin(kMsg), std::end(kMsg), "MSG_"};
  case NameKind::Rc:
    return {std::begin(kRc), std::end(kRc), "TWRC_"};
  case NameKind::Cc:
    break;
  }
  return {std::begin(kCc), std::end(kCc), "TWCC_"};
}

std::string Upper(const std::string &s) {
  std::string out = s;
  for (char &c : out)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

} // namespace

std::string NameOf(NameKind kind, uint32_t value) {
  const Table t = TableOf(kind);
  for (const Named *n = t.begin; n != t.end; ++n)
    if (n->value == value)
      return n->name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04X", static_cast<unsigned>(value));
  return buf;
}

std::optional<uint32_t> ValueOf(NameKind kind, const std::string &text) {
  if (text.empty())
    return std::nullopt;
  if (std::isdigit(static_cast<unsigned char>(text[0]))) {
    char *end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFul)
      return std::nullopt;
    return static_cast<uint32_t>(v);
  }
  const Table t = TableOf(kind);
  std::string name = Upper(text);
  const std::string prefix = t.prefix;
  if (name.compare(0, prefix.size(), prefix) == 0)
    name = name.substr(prefix.size());
  for (const Named *n = t.begin; n != t.end; ++n)
    if (name == n->name)
      return n->value;
  return std::nullopt;
}

} // namespace vscan
