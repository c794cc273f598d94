// Enumerations and event types of the TWAIN layer shared by the manager, its sources and the
// application.
#pragma once

#include "twain/TwainCapabilityTypes.h"
#include "twain/TwainRecords.h"

#include <windows.h>

#include <cstdint>
#include <functional>

class TKestraTwain;
class TTwainSource;
class TTwainBitmap;

// Transfer mechanism of a source.
enum TTwainTransferMode : uint8_t { ttmFile, ttmNative, ttmMemory };

// Data groups an identity supports.
enum TTwainGroup : uint8_t { tgControl, tgImage, tgAudio };
using TTwainGroups = TTwainByteSet<TTwainGroup>;

// File format reported with a file transfer; FormatFromTwain maps TWFF_ values.
enum TTwainFormat : uint8_t {
  tfTIFF,
  tfPict,
  tfBMP,
  tfXBM,
  tfJPEG,
  tfFPX,
  tfTIFFMulti,
  tfPNG,
  tfSPIFF,
  tfEXIF,
  tfUnknown,
};

// TWAIN languages: the ordinal minus 1 is the TWLG_ code, so tlUserLocale is -1 (stored 0xFFFF)
// and tlDanish 0. 115 members.
// clang-format off
enum TTwainLanguage : uint8_t {
  tlUserLocale, tlDanish, tlDutch, tlInternationalEnglish, tlFrenchCanadian, tlFinnish, tlFrench,
  tlGerman, tlIcelandic, tlItalian, tlNorwegian, tlPortuguese, tlSpanish, tlSwedish, tlUsEnglish,
  tlAfrikaans, tlAlbania, tlArabic, tlArabicAlgeria, tlArabicBahrain, tlArabicEgypt, tlArabicIraq,
  tlArabJordan, tlArabicKuwait, tlArabicLebanon, tlArabicLibya, tlArabicMorocco, tlArabicOman,
  tlArabicQatar, tlArabicSaudiarabia, tlArabicSyria, tlArabicTunisia, tlArabicUae, tlArabicYemen,
  tlBasque, tlByelorussian, tlBulgarian, tlCatalan, tlChinese, tlChineseHongkong,
  tlChinesePeoplesRepublic, tlChineseSingapore, tlChineseSimplified, tlChineseTwain,
  tlChineseTraditional, tlCroatia, tlCzech, tlDutchBelgian, tlEnglishAustralian, tlEnglishCanadian,
  tlEnglishIreland, tlEnglishNewZealand, tlEnglishSouthAfrica, tlEnglishUk, tlEstonian, tlFaeroese,
  tlFarsi, tlFrenchBelgian, tlFrenchLuxembourg, tlFrenchSwiss, tlGermanAustrian, tlGermanLuxembourg,
  tlGermanLiechtenstein, tlGermanSwiss, tlGreek, tlHebrew, tlHungarian, tlIndonesian, tlItalianSwiss,
  tlJapanese, tlKorean, tlKoreanJohab, tlLatvian, tlLithuanian, tlNorewgianBokmal, tlNorwegianNynorsk,
  tlPolish, tlPortugueseBrazil, tlRomanian, tlRussian, tlSerbianLatin, tlSlovak, tlSlovenian,
  tlSpanishMexican, tlSpanishModern, tlThai, tlTurkish, tlUkranian, tlAssamese, tlBengali, tlBihari,
  tlBodo, tlDogri, tlGujarati, tlHarayanvi, tlHindi, tlKannada, tlKashmiri, tlMalayalam, tlMarathi,
  tlMarwari, tlMeghalayan, tlMizo, tlNaga, tlOrissi, tlPunjabi, tlPushtu, tlSerbianCyrillic,
  tlSikkimi, tlSwidishFinland, tlTamil, tlTelugu, tlTripuri, tlUrdu, tlVietnamese,
};
// clang-format on
static_assert(tlUsEnglish == 14 && tlVietnamese == 114, "115 languages, ordinal = TWLG_ code + 1");

// Events of the manager. Each is raised only when a handler is assigned.
using TOnSourceNotify = std::function<void(TKestraTwain *sender, int index)>;
using TOnTwainAcquire =
    std::function<void(TKestraTwain *sender, int index, TTwainBitmap &image, bool &cancel)>;
using TOnSourceFileTransfer = std::function<void(TTwainSource *sender, int index, const char (&fileName)[256],
                                                 TTwainFormat format, bool &cancel)>;
using TOnTwainError = std::function<void(TKestraTwain *sender, int index, int errorCode, int additional)>;
using TOnAcquireProgress =
    std::function<void(TTwainSource *sender, int index, HBITMAP image, int current, int total)>;
