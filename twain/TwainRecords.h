// TWAIN 1.9 records, scalar types, constants and entry-point types, laid out exactly as the
// TWAIN standard defines them for 32-bit Windows (2-byte packing). Their addresses are handed
// to the source manager and to data sources, so every size and offset is checked below.
//
// Plain header: depends only on <windows.h> and <cstdint>, so that the station's TWAIN layer
// and the virtual scanner data source (sources/virtual-scanner) share one definition.
// Facts: shared/twain-records.md.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Scalar types
// ---------------------------------------------------------------------------------------------
typedef int8_t TW_INT8;
typedef uint8_t TW_UINT8;
typedef int16_t TW_INT16;
typedef uint16_t TW_UINT16;
typedef int32_t TW_INT32;
typedef uint32_t TW_UINT32;
typedef uint16_t TW_BOOL; // this station sends true as 0xFFFF; sources may answer 1
typedef HANDLE TW_HANDLE;
typedef void *TW_MEMREF;
typedef char TW_STR32[34];
typedef char TW_STR64[66];
typedef char TW_STR128[130];
typedef char TW_STR255[256];
typedef char TW_STR1024[1026];

// The value this station sends for a true TW_BOOL.
constexpr TW_BOOL TWAIN_TRUE = 0xFFFF;
constexpr TW_BOOL TWAIN_FALSE = 0;

#pragma pack(push, 2)

struct TW_FIX32 {
  TW_INT16 Whole;
  TW_UINT16 Frac;
};

struct TW_FRAME {
  TW_FIX32 Left;
  TW_FIX32 Top;
  TW_FIX32 Right;
  TW_FIX32 Bottom;
};

struct TW_VERSION {
  TW_UINT16 MajorNum;
  TW_UINT16 MinorNum;
  TW_UINT16 Language;
  TW_UINT16 Country;
  TW_STR32 Info;
};

struct TW_IDENTITY {
  TW_UINT32 Id;
  TW_VERSION Version;
  TW_UINT16 ProtocolMajor;
  TW_UINT16 ProtocolMinor;
  TW_UINT32 SupportedGroups;
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
};

struct TW_USERINTERFACE {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;
};

struct TW_EVENT {
  TW_MEMREF pEvent; // address of a Windows MSG
  TW_UINT16 TWMessage;
};

struct TW_STATUS {
  TW_UINT16 ConditionCode;
  TW_UINT16 Reserved;
};

struct TW_CAPABILITY {
  TW_UINT16 Cap;
  TW_UINT16 ConType;
  TW_HANDLE hContainer;
};

struct TW_ONEVALUE {
  TW_UINT16 ItemType;
  TW_UINT32 Item; // the value's bytes start here
};

struct TW_ENUMERATION {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT32 CurrentIndex;
  TW_UINT32 DefaultIndex;
  TW_UINT8 ItemList[1]; // NumItems items follow; the record's fixed part is 14 bytes
};

struct TW_ARRAY {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT8 ItemList[1]; // NumItems items follow; the record's fixed part is 6 bytes
};

struct TW_RANGE {
  TW_UINT16 ItemType;
  TW_UINT32 MinValue;
  TW_UINT32 MaxValue;
  TW_UINT32 StepSize;
  TW_UINT32 DefaultValue;
  TW_UINT32 CurrentValue;
};

struct TW_IMAGEINFO {
  TW_FIX32 XResolution;
  TW_FIX32 YResolution;
  TW_INT32 ImageWidth;
  TW_INT32 ImageLength;
  TW_INT16 SamplesPerPixel;
  TW_INT16 BitsPerSample[8];
  TW_INT16 BitsPerPixel;
  TW_BOOL Planar;
  TW_INT16 PixelType;
  TW_UINT16 Compression;
};

struct TW_SETUPMEMXFER {
  TW_UINT32 MinBufSize;
  TW_UINT32 MaxBufSize;
  TW_UINT32 Preferred;
};

struct TW_MEMORY {
  TW_UINT32 Flags;
  TW_UINT32 Length;
  TW_MEMREF TheMem;
};

struct TW_IMAGEMEMXFER {
  TW_UINT16 Compression;
  TW_UINT32 BytesPerRow;
  TW_UINT32 Columns;
  TW_UINT32 Rows;
  TW_UINT32 XOffset;
  TW_UINT32 YOffset;
  TW_UINT32 BytesWritten;
  TW_MEMORY Memory;
};

struct TW_PENDINGXFERS {
  TW_UINT16 Count;
  TW_UINT32 EOJ; // Reserved before TWAIN 1.8
};

struct TW_ELEMENT8 {
  TW_UINT8 Index;
  TW_UINT8 Channel1;
  TW_UINT8 Channel2;
  TW_UINT8 Channel3;
};

struct TW_PALETTE8 {
  TW_UINT16 NumColors;
  TW_UINT16 PaletteType;
  TW_ELEMENT8 Colors[256];
};

struct TW_SETUPFILEXFER {
  TW_STR255 FileName;
  TW_UINT16 Format;
  TW_INT16 VRefNum;
};

#pragma pack(pop)

typedef TW_IDENTITY *pTW_IDENTITY;

// Fixed parts of the variable-length containers (the items follow at these offsets).
constexpr size_t TW_ONEVALUE_ITEM_OFFSET = 2;
constexpr size_t TW_ENUMERATION_HEADER_SIZE = 14;
constexpr size_t TW_ARRAY_HEADER_SIZE = 6;

// ---------------------------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------------------------
// Source manager: TWAIN_32.DLL, export ordinal 1.
typedef TW_UINT16(WINAPI *DSMENTRYPROC)(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG, TW_UINT16 DAT,
                                        TW_UINT16 MSG, TW_MEMREF pData);
// Data source: exported by name ("DS_Entry", undecorated) from the source's .ds file.
typedef TW_UINT16(WINAPI *DSENTRYPROC)(pTW_IDENTITY pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                       TW_MEMREF pData);

// ---------------------------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------------------------
// Data groups
constexpr TW_UINT32 DG_CONTROL = 0x0001;
constexpr TW_UINT32 DG_IMAGE = 0x0002;
constexpr TW_UINT32 DG_AUDIO = 0x0004;

// Data argument types (control)
constexpr TW_UINT16 DAT_NULL = 0x0000;
constexpr TW_UINT16 DAT_CAPABILITY = 0x0001;
constexpr TW_UINT16 DAT_EVENT = 0x0002;
constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
constexpr TW_UINT16 DAT_PARENT = 0x0004;
constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
constexpr TW_UINT16 DAT_SETUPMEMXFER = 0x0006;
constexpr TW_UINT16 DAT_SETUPFILEXFER = 0x0007;
constexpr TW_UINT16 DAT_STATUS = 0x0008;
constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
constexpr TW_UINT16 DAT_XFERGROUP = 0x000A;
// Data argument types (image)
constexpr TW_UINT16 DAT_IMAGEINFO = 0x0101;
constexpr TW_UINT16 DAT_IMAGELAYOUT = 0x0102;
constexpr TW_UINT16 DAT_IMAGEMEMXFER = 0x0103;
constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;
constexpr TW_UINT16 DAT_IMAGEFILEXFER = 0x0105;
constexpr TW_UINT16 DAT_PALETTE8 = 0x010A;

// Messages
constexpr TW_UINT16 MSG_NULL = 0x0000;
constexpr TW_UINT16 MSG_GET = 0x0001;
constexpr TW_UINT16 MSG_GETCURRENT = 0x0002;
constexpr TW_UINT16 MSG_GETDEFAULT = 0x0003;
constexpr TW_UINT16 MSG_GETFIRST = 0x0004;
constexpr TW_UINT16 MSG_GETNEXT = 0x0005;
constexpr TW_UINT16 MSG_SET = 0x0006;
constexpr TW_UINT16 MSG_RESET = 0x0007;
constexpr TW_UINT16 MSG_QUERYSUPPORT = 0x0008;
constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
constexpr TW_UINT16 MSG_CLOSEDSOK = 0x0103;
constexpr TW_UINT16 MSG_DEVICEEVENT = 0x0104;
constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
constexpr TW_UINT16 MSG_OPENDS = 0x0401;
constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
constexpr TW_UINT16 MSG_USERSELECT = 0x0403;
constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
constexpr TW_UINT16 MSG_ENABLEDSUIONLY = 0x0503;
constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
constexpr TW_UINT16 MSG_ENDXFER = 0x0701;
constexpr TW_UINT16 MSG_STOPFEEDER = 0x0702;

// Return codes
constexpr TW_UINT16 TWRC_SUCCESS = 0;
constexpr TW_UINT16 TWRC_FAILURE = 1;
constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
constexpr TW_UINT16 TWRC_CANCEL = 3;
constexpr TW_UINT16 TWRC_DSEVENT = 4;
constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
constexpr TW_UINT16 TWRC_XFERDONE = 6;
constexpr TW_UINT16 TWRC_ENDOFLIST = 7;
constexpr TW_UINT16 TWRC_INFONOTSUPPORTED = 8;
constexpr TW_UINT16 TWRC_DATANOTAVAILABLE = 9;

// Condition codes
constexpr TW_UINT16 TWCC_SUCCESS = 0;
constexpr TW_UINT16 TWCC_BUMMER = 1;
constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
constexpr TW_UINT16 TWCC_NODS = 3;
constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;
constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;
constexpr TW_UINT16 TWCC_BADCAP = 6;
constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
constexpr TW_UINT16 TWCC_BADVALUE = 10;
constexpr TW_UINT16 TWCC_SEQERROR = 11;
constexpr TW_UINT16 TWCC_BADDEST = 12;
constexpr TW_UINT16 TWCC_CAPUNSUPPORTED = 13;
constexpr TW_UINT16 TWCC_CAPBADOPERATION = 14;
constexpr TW_UINT16 TWCC_CAPSEQERROR = 15;
constexpr TW_UINT16 TWCC_DENIED = 16;
constexpr TW_UINT16 TWCC_FILEEXISTS = 17;
constexpr TW_UINT16 TWCC_FILENOTFOUND = 18;
constexpr TW_UINT16 TWCC_NOTEMPTY = 19;
constexpr TW_UINT16 TWCC_PAPERJAM = 20;
constexpr TW_UINT16 TWCC_PAPERDOUBLEFEED = 21;
constexpr TW_UINT16 TWCC_FILEWRITEERROR = 22;
constexpr TW_UINT16 TWCC_CHECKDEVICEONLINE = 23;

// Container types
constexpr TW_UINT16 TWON_ARRAY = 3;
constexpr TW_UINT16 TWON_ENUMERATION = 4;
constexpr TW_UINT16 TWON_ONEVALUE = 5;
constexpr TW_UINT16 TWON_RANGE = 6;
constexpr TW_UINT16 TWON_DONTCARE16 = 0xFFFF;

// Item types
constexpr TW_UINT16 TWTY_INT8 = 0x0000;
constexpr TW_UINT16 TWTY_INT16 = 0x0001;
constexpr TW_UINT16 TWTY_INT32 = 0x0002;
constexpr TW_UINT16 TWTY_UINT8 = 0x0003;
constexpr TW_UINT16 TWTY_UINT16 = 0x0004;
constexpr TW_UINT16 TWTY_UINT32 = 0x0005;
constexpr TW_UINT16 TWTY_BOOL = 0x0006;
constexpr TW_UINT16 TWTY_FIX32 = 0x0007;
constexpr TW_UINT16 TWTY_FRAME = 0x0008;
constexpr TW_UINT16 TWTY_STR32 = 0x0009;
constexpr TW_UINT16 TWTY_STR64 = 0x000A;
constexpr TW_UINT16 TWTY_STR128 = 0x000B;
constexpr TW_UINT16 TWTY_STR255 = 0x000C;
constexpr TW_UINT16 TWTY_STR1024 = 0x000D;
constexpr TW_UINT16 TWTY_UNI512 = 0x000E;
constexpr TW_UINT16 TWTY_HANDLE = 0x000F;

// Pixel types
constexpr TW_UINT16 TWPT_BW = 0;
constexpr TW_UINT16 TWPT_GRAY = 1;
constexpr TW_UINT16 TWPT_RGB = 2;
constexpr TW_UINT16 TWPT_PALETTE = 3;
constexpr TW_UINT16 TWPT_CMY = 4;
constexpr TW_UINT16 TWPT_CMYK = 5;
constexpr TW_UINT16 TWPT_YUV = 6;
constexpr TW_UINT16 TWPT_YUVK = 7;
constexpr TW_UINT16 TWPT_CIEXYZ = 8;

// Units
constexpr TW_UINT16 TWUN_INCHES = 0;
constexpr TW_UINT16 TWUN_CENTIMETERS = 1;
constexpr TW_UINT16 TWUN_PICAS = 2;
constexpr TW_UINT16 TWUN_POINTS = 3;
constexpr TW_UINT16 TWUN_TWIPS = 4;
constexpr TW_UINT16 TWUN_PIXELS = 5;

// Pixel flavours
constexpr TW_UINT16 TWPF_CHOCOLATE = 0;
constexpr TW_UINT16 TWPF_VANILLA = 1;

// TW_MEMORY flags
constexpr TW_UINT32 TWMF_APPOWNS = 0x0001;
constexpr TW_UINT32 TWMF_DSMOWNS = 0x0002;
constexpr TW_UINT32 TWMF_DSOWNS = 0x0004;
constexpr TW_UINT32 TWMF_POINTER = 0x0008;
constexpr TW_UINT32 TWMF_HANDLE = 0x0010;

// File formats
constexpr TW_UINT16 TWFF_TIFF = 0;
constexpr TW_UINT16 TWFF_PICT = 1;
constexpr TW_UINT16 TWFF_BMP = 2;
constexpr TW_UINT16 TWFF_XBM = 3;
constexpr TW_UINT16 TWFF_JFIF = 4;
constexpr TW_UINT16 TWFF_FPX = 5;
constexpr TW_UINT16 TWFF_TIFFMULTI = 6;
constexpr TW_UINT16 TWFF_PNG = 7;
constexpr TW_UINT16 TWFF_SPIFF = 8;
constexpr TW_UINT16 TWFF_EXIF = 9;

// Capabilities
constexpr TW_UINT16 CAP_XFERCOUNT = 0x0001;
constexpr TW_UINT16 ICAP_COMPRESSION = 0x0100;
constexpr TW_UINT16 ICAP_PIXELTYPE = 0x0101;
constexpr TW_UINT16 ICAP_UNITS = 0x0102;
constexpr TW_UINT16 ICAP_XFERMECH = 0x0103;
constexpr TW_UINT16 CAP_FEEDERENABLED = 0x1002;
constexpr TW_UINT16 CAP_FEEDERLOADED = 0x1003;
constexpr TW_UINT16 CAP_AUTOFEED = 0x1007;
constexpr TW_UINT16 CAP_INDICATORS = 0x100B;
constexpr TW_UINT16 CAP_PAPERDETECTABLE = 0x100D;
constexpr TW_UINT16 CAP_DUPLEXENABLED = 0x1013;
constexpr TW_UINT16 ICAP_XRESOLUTION = 0x1118;
constexpr TW_UINT16 ICAP_YRESOLUTION = 0x1119;
constexpr TW_UINT16 ICAP_PIXELFLAVOR = 0x111F;
constexpr TW_UINT16 ICAP_BITDEPTH = 0x112B;
constexpr TW_UINT16 ICAP_AUTODISCARDBLANKPAGES = 0x1134; // TW_INT32; TWBP_DISABLE -2, TWBP_AUTO -1
// Double-feed detection (TW_UINT16): the method (TWDF_ULTRASONIC 0, TWDF_BYLENGTH 1, TWDF_INFRARED 2),
// its sensitivity (TWUS_LOW 0, TWUS_MEDIUM 1, TWUS_HIGH 2) and what the scanner does on one
// (TWDP_STOP 0, TWDP_STOPANDWAIT 1, TWDP_SOUND 2, TWDP_DONOTIMPRINT 3).
constexpr TW_UINT16 CAP_DOUBLEFEEDDETECTION = 0x1046;
constexpr TW_UINT16 CAP_DOUBLEFEEDDETECTIONSENSITIVITY = 0x1048;
constexpr TW_UINT16 CAP_DOUBLEFEEDDETECTIONRESPONSE = 0x1049;

// ICAP_XFERMECH values
constexpr TW_UINT16 TWSX_NATIVE = 0;
constexpr TW_UINT16 TWSX_FILE = 1;
constexpr TW_UINT16 TWSX_MEMORY = 2;

// Languages and countries
constexpr TW_INT16 TWLG_USERLOCALE = -1; // stored as 0xFFFF
constexpr TW_UINT16 TWLG_DANISH = 0;
constexpr TW_UINT16 TWLG_USA = 13;
constexpr TW_UINT16 TWCY_USA = 1;

// Protocol announced by the station
constexpr TW_UINT16 TWON_PROTOCOLMAJOR = 1;
constexpr TW_UINT16 TWON_PROTOCOLMINOR = 9;

// ---------------------------------------------------------------------------------------------
// Layout checks (i686: pointers and handles are 4 bytes)
// ---------------------------------------------------------------------------------------------
static_assert(sizeof(void *) == 4, "TWAIN records are laid out for a 32-bit build");
static_assert(sizeof(TW_BOOL) == 2 && sizeof(TW_HANDLE) == 4 && sizeof(TW_MEMREF) == 4, "scalar sizes");
static_assert(sizeof(TW_STR32) == 34 && sizeof(TW_STR64) == 66 && sizeof(TW_STR128) == 130 &&
                  sizeof(TW_STR255) == 256 && sizeof(TW_STR1024) == 1026,
              "string sizes");

static_assert(sizeof(TW_FIX32) == 4, "TW_FIX32");
static_assert(offsetof(TW_FIX32, Whole) == 0 && offsetof(TW_FIX32, Frac) == 2, "TW_FIX32 offsets");
static_assert(sizeof(TW_FRAME) == 16, "TW_FRAME");
static_assert(offsetof(TW_FRAME, Left) == 0 && offsetof(TW_FRAME, Top) == 4 &&
                  offsetof(TW_FRAME, Right) == 8 && offsetof(TW_FRAME, Bottom) == 12,
              "TW_FRAME offsets");

static_assert(sizeof(TW_VERSION) == 42, "TW_VERSION");
static_assert(offsetof(TW_VERSION, MajorNum) == 0 && offsetof(TW_VERSION, MinorNum) == 2 &&
                  offsetof(TW_VERSION, Language) == 4 && offsetof(TW_VERSION, Country) == 6 &&
                  offsetof(TW_VERSION, Info) == 8,
              "TW_VERSION offsets");

static_assert(sizeof(TW_IDENTITY) == 156, "TW_IDENTITY");
static_assert(offsetof(TW_IDENTITY, Id) == 0 && offsetof(TW_IDENTITY, Version) == 4 &&
                  offsetof(TW_IDENTITY, ProtocolMajor) == 46 && offsetof(TW_IDENTITY, ProtocolMinor) == 48 &&
                  offsetof(TW_IDENTITY, SupportedGroups) == 50 && offsetof(TW_IDENTITY, Manufacturer) == 54 &&
                  offsetof(TW_IDENTITY, ProductFamily) == 88 && offsetof(TW_IDENTITY, ProductName) == 122,
              "TW_IDENTITY offsets");

static_assert(sizeof(TW_USERINTERFACE) == 8, "TW_USERINTERFACE");
static_assert(offsetof(TW_USERINTERFACE, ShowUI) == 0 && offsetof(TW_USERINTERFACE, ModalUI) == 2 &&
                  offsetof(TW_USERINTERFACE, hParent) == 4,
              "TW_USERINTERFACE offsets");

static_assert(sizeof(TW_EVENT) == 6, "TW_EVENT");
static_assert(offsetof(TW_EVENT, pEvent) == 0 && offsetof(TW_EVENT, TWMessage) == 4, "TW_EVENT offsets");

static_assert(sizeof(TW_STATUS) == 4, "TW_STATUS");
static_assert(offsetof(TW_STATUS, ConditionCode) == 0 && offsetof(TW_STATUS, Reserved) == 2,
              "TW_STATUS offsets");

static_assert(sizeof(TW_CAPABILITY) == 8, "TW_CAPABILITY");
static_assert(offsetof(TW_CAPABILITY, Cap) == 0 && offsetof(TW_CAPABILITY, ConType) == 2 &&
                  offsetof(TW_CAPABILITY, hContainer) == 4,
              "TW_CAPABILITY offsets");

static_assert(sizeof(TW_ONEVALUE) == 6, "TW_ONEVALUE");
static_assert(offsetof(TW_ONEVALUE, ItemType) == 0 && offsetof(TW_ONEVALUE, Item) == TW_ONEVALUE_ITEM_OFFSET,
              "TW_ONEVALUE offsets");

static_assert(offsetof(TW_ENUMERATION, ItemType) == 0 && offsetof(TW_ENUMERATION, NumItems) == 2 &&
                  offsetof(TW_ENUMERATION, CurrentIndex) == 6 &&
                  offsetof(TW_ENUMERATION, DefaultIndex) == 10 &&
                  offsetof(TW_ENUMERATION, ItemList) == TW_ENUMERATION_HEADER_SIZE,
              "TW_ENUMERATION offsets");

static_assert(offsetof(TW_ARRAY, ItemType) == 0 && offsetof(TW_ARRAY, NumItems) == 2 &&
                  offsetof(TW_ARRAY, ItemList) == TW_ARRAY_HEADER_SIZE,
              "TW_ARRAY offsets");

static_assert(sizeof(TW_RANGE) == 22, "TW_RANGE");
static_assert(offsetof(TW_RANGE, ItemType) == 0 && offsetof(TW_RANGE, MinValue) == 2 &&
                  offsetof(TW_RANGE, MaxValue) == 6 && offsetof(TW_RANGE, StepSize) == 10 &&
                  offsetof(TW_RANGE, DefaultValue) == 14 && offsetof(TW_RANGE, CurrentValue) == 18,
              "TW_RANGE offsets");

static_assert(sizeof(TW_IMAGEINFO) == 42, "TW_IMAGEINFO");
static_assert(offsetof(TW_IMAGEINFO, XResolution) == 0 && offsetof(TW_IMAGEINFO, YResolution) == 4 &&
                  offsetof(TW_IMAGEINFO, ImageWidth) == 8 && offsetof(TW_IMAGEINFO, ImageLength) == 12 &&
                  offsetof(TW_IMAGEINFO, SamplesPerPixel) == 16 &&
                  offsetof(TW_IMAGEINFO, BitsPerSample) == 18 && offsetof(TW_IMAGEINFO, BitsPerPixel) == 34 &&
                  offsetof(TW_IMAGEINFO, Planar) == 36 && offsetof(TW_IMAGEINFO, PixelType) == 38 &&
                  offsetof(TW_IMAGEINFO, Compression) == 40,
              "TW_IMAGEINFO offsets");

static_assert(sizeof(TW_SETUPMEMXFER) == 12, "TW_SETUPMEMXFER");
static_assert(offsetof(TW_SETUPMEMXFER, MinBufSize) == 0 && offsetof(TW_SETUPMEMXFER, MaxBufSize) == 4 &&
                  offsetof(TW_SETUPMEMXFER, Preferred) == 8,
              "TW_SETUPMEMXFER offsets");

static_assert(sizeof(TW_MEMORY) == 12, "TW_MEMORY");
static_assert(offsetof(TW_MEMORY, Flags) == 0 && offsetof(TW_MEMORY, Length) == 4 &&
                  offsetof(TW_MEMORY, TheMem) == 8,
              "TW_MEMORY offsets");

static_assert(sizeof(TW_IMAGEMEMXFER) == 38, "TW_IMAGEMEMXFER");
static_assert(offsetof(TW_IMAGEMEMXFER, Compression) == 0 && offsetof(TW_IMAGEMEMXFER, BytesPerRow) == 2 &&
                  offsetof(TW_IMAGEMEMXFER, Columns) == 6 && offsetof(TW_IMAGEMEMXFER, Rows) == 10 &&
                  offsetof(TW_IMAGEMEMXFER, XOffset) == 14 && offsetof(TW_IMAGEMEMXFER, YOffset) == 18 &&
                  offsetof(TW_IMAGEMEMXFER, BytesWritten) == 22 && offsetof(TW_IMAGEMEMXFER, Memory) == 26,
              "TW_IMAGEMEMXFER offsets");

static_assert(sizeof(TW_PENDINGXFERS) == 6, "TW_PENDINGXFERS");
static_assert(offsetof(TW_PENDINGXFERS, Count) == 0 && offsetof(TW_PENDINGXFERS, EOJ) == 2,
              "TW_PENDINGXFERS offsets");

static_assert(sizeof(TW_ELEMENT8) == 4, "TW_ELEMENT8");
static_assert(offsetof(TW_ELEMENT8, Index) == 0 && offsetof(TW_ELEMENT8, Channel1) == 1 &&
                  offsetof(TW_ELEMENT8, Channel2) == 2 && offsetof(TW_ELEMENT8, Channel3) == 3,
              "TW_ELEMENT8 offsets");

static_assert(sizeof(TW_PALETTE8) == 1028, "TW_PALETTE8");
static_assert(offsetof(TW_PALETTE8, NumColors) == 0 && offsetof(TW_PALETTE8, PaletteType) == 2 &&
                  offsetof(TW_PALETTE8, Colors) == 4,
              "TW_PALETTE8 offsets");

static_assert(sizeof(TW_SETUPFILEXFER) == 260, "TW_SETUPFILEXFER");
static_assert(offsetof(TW_SETUPFILEXFER, FileName) == 0 && offsetof(TW_SETUPFILEXFER, Format) == 256 &&
                  offsetof(TW_SETUPFILEXFER, VRefNum) == 258,
              "TW_SETUPFILEXFER offsets");

// Bytes of one numeric item (TWTY_INT8 to TWTY_FIX32); 0 for frames, strings and handles.
constexpr uint32_t TwainScalarItemSize(TW_UINT16 itemType) {
  switch (itemType) {
  case TWTY_INT8:
  case TWTY_UINT8:
    return 1;
  case TWTY_INT16:
  case TWTY_UINT16:
  case TWTY_BOOL:
    return 2;
  case TWTY_INT32:
  case TWTY_UINT32:
  case TWTY_FIX32:
    return 4;
  default:
    return 0;
  }
}
