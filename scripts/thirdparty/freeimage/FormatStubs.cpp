// Registration-only plugins for the formats this build leaves out: each keeps its name,
// description, extensions and MIME type (so format ids match FreeImage.h) but can neither
// load nor save.
#include "FreeImage.h"
#include "Plugin.h"

#define TOVIK_FORMAT_STUB(NAME, FORMAT, DESCRIPTION, EXTENSIONS, MIME)                                   \
  static const char *DLL_CALLCONV NAME##Format() { return FORMAT; }                                      \
  static const char *DLL_CALLCONV NAME##Description() { return DESCRIPTION; }                            \
  static const char *DLL_CALLCONV NAME##Extensions() { return EXTENSIONS; }                              \
  static const char *DLL_CALLCONV NAME##Mime() { return MIME; }                                          \
  void DLL_CALLCONV Init##NAME(Plugin *plugin, int) {                                                    \
    plugin->format_proc = NAME##Format;                                                                  \
    plugin->description_proc = NAME##Description;                                                        \
    plugin->extension_proc = NAME##Extensions;                                                           \
    plugin->mime_proc = NAME##Mime;                                                                      \
  }

TOVIK_FORMAT_STUB(PNG, "PNG", "Portable Network Graphics", "png", "image/png")
TOVIK_FORMAT_STUB(TIFF, "TIFF", "Tagged Image File Format", "tif,tiff", "image/tiff")
TOVIK_FORMAT_STUB(G3, "G3", "Raw fax format CCITT G.3", "g3", "image/fax-g3")
TOVIK_FORMAT_STUB(EXR, "EXR", "ILM OpenEXR", "exr", "image/x-exr")
TOVIK_FORMAT_STUB(J2K, "J2K", "JPEG-2000 codestream", "j2k,j2c", "image/j2k")
TOVIK_FORMAT_STUB(JP2, "JP2", "JPEG-2000 File Format", "jp2", "image/jp2")
TOVIK_FORMAT_STUB(RAW, "RAW", "RAW camera image",
                  "3fr,arw,bay,bmq,cap,cine,cr2,crw,cs1,dc2,dcr,drf,dsc,dng,erf,fff,ia,iiq,k25,kc2,kdc,mdc,mef,"
                  "mos,mrw,nef,nrw,orf,pef,ptx,pxn,qtk,raf,raw,rdc,rw2,rwl,rwz,sr2,srf,srw,sti,x3f",
                  "image/x-dcraw")
TOVIK_FORMAT_STUB(WEBP, "WebP", "WebP image format", "webp", "image/webp")
TOVIK_FORMAT_STUB(JXR, "JPEG-XR", "JPEG XR image format", "jxr,wdp,hdp", "image/vnd.ms-photo")
