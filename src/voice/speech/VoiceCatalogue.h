#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace corvalin {

// One installed voice as the station offers it.
struct SpeechEngineMode {
    QString ModeName; // readable and stable, e.g. "English (America) - Adult Male 1"
    // What the speech worker selects it by: espeak-ng's id, e.g. "gmw/en-US+m1", or for Flite
    // "flite:" and a built-in voice's name ("flite:slt") or a voice file's path.
    QByteArray VoiceId;
};

// The prefix of a Flite voice's id.
inline constexpr const char* kFliteVoicePrefix = "flite:";
// A Flite voice file's ending.
inline constexpr const char* kFliteVoiceFileSuffix = ".flitevox";

// The voice catalogue, built once at start-up.
struct SpeechCatalogue {
    QStringList SpeechEngineList;                    // mode names, in catalogue order
    std::vector<SpeechEngineMode> SpeechEngineModes; // same index
    QString SetupError; // the setup error box's text when enumeration failed, else empty

    // The first voice whose mode name equals `name` without regard to letter case (whole names,
    // no trimming); -1 when there is none.
    int indexOf(const QString& name) const;
};

// What espeak-ng reports, before the catalogue is made of it.
struct EspeakVoiceInfo {
    QString name;          // "English (America)"
    QByteArray identifier; // "gmw/en-US"
    QByteArray language;   // "en-us"
};
struct EspeakVariantInfo {
    QString name;          // "Adult Male 1"
    QByteArray identifier; // "m1"
};

inline constexpr const char* kSpeechSetupErrorText =
    "An error occurred while locating the TTS (Text-To-Speech) engines installed on your system.\r";

// Every voice by itself, and every English voice once more with each adult male and female
// variant ("<voice> - Adult Male N"). Voices are kept in espeak-ng's order; mbrola voices (they
// need a separate synthesiser) are left out. Pure.
SpeechCatalogue buildSpeechCatalogue(const std::vector<EspeakVoiceInfo>& voices,
                                     const std::vector<EspeakVariantInfo>& variants);

// The adult variants of an espeak-ng data folder's "voices/!v" ("m<N>", "f<N>"), sorted: males
// first, then females, by number.
std::vector<EspeakVariantInfo> readEspeakVariants(const QString& variantFolder);

// Appends the Flite voices built into the speech worker (CMU's slt, awb, rms and kal16), then one
// voice per "*.flitevox" file in `voiceFileFolder` (sorted by name; none when empty), each named
// "Flite <name> (<what it is>)". Pure but for reading the folder.
void addFliteVoices(SpeechCatalogue& catalogue, const QString& voiceFileFolder = QString());

// Builds the catalogue from the installed espeak-ng voices followed by the Flite voices (see
// addFliteVoices; the worker needs espeak-ng to run, so without espeak-ng voices there are none).
// `dataPath` is espeak-ng's data folder (empty: the installed one). On failure the catalogue holds
// what was found and SetupError the text for the "Corvalin Radio - Setup Error" box. UI thread
// (espeak-ng's voice list is global).
SpeechCatalogue LoadSpeechEngines(const QString& dataPath = QString(),
                                  const QString& fliteVoiceFolder = QString());

// The four slots' voices on the first start (Morning, Afternoon, Evening, Late Night): distinct
// English male voices that espeak-ng installs with its data.
const std::array<QString, 4>& defaultSlotVoices();

// The voice a slot speaks with. A slot whose voice is not installed (a name typed wrongly, a voice
// removed) falls back to a working voice rather than leave its DJ silent.
struct SlotVoice {
    QString voice;         // the installed mode name to speak with
    bool fellBack = false; // `wanted` is not installed and `voice` stands in for it
};
// `wanted` when installed (letter case ignored, whole names); else the slot's first-start voice
// (slot 1..4), the first English voice or the first voice, whichever is installed first. With no
// voice installed at all, `wanted` unchanged and no fallback. Pure.
SlotVoice slotVoice(const QStringList& installed, const QString& wanted, int slot);

} // namespace corvalin
