#include "voice/speech/VoiceCatalogue.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

namespace corvalin {

int SpeechCatalogue::indexOf(const QString& name) const {
    for (int i = 0; i < SpeechEngineList.size(); ++i) {
        if (SpeechEngineList[i].compare(name, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

SpeechCatalogue buildSpeechCatalogue(const std::vector<EspeakVoiceInfo>& voices,
                                     const std::vector<EspeakVariantInfo>& variants) {
    SpeechCatalogue c;
    auto add = [&c](const QString& name, const QByteArray& id) {
        c.SpeechEngineList.append(name);
        c.SpeechEngineModes.push_back({name, id});
    };
    for (const auto& v : voices) {
        if (v.identifier.startsWith("mb/") || v.name.isEmpty()) {
            continue;
        }
        add(v.name, v.identifier);
        if (v.language == "en" || v.language.startsWith("en-")) {
            for (const auto& variant : variants) {
                add(v.name + QStringLiteral(" - ") + variant.name,
                    v.identifier + '+' + variant.identifier);
            }
        }
    }
    return c;
}

std::vector<EspeakVariantInfo> readEspeakVariants(const QString& variantFolder) {
    static const QRegularExpression adult(QStringLiteral("^([mf])([0-9]+)$"));
    struct Found {
        bool female;
        int number;
        QString file;
    };
    std::vector<Found> found;
    const QStringList files = QDir(variantFolder).entryList(QDir::Files);
    for (const QString& f : files) {
        const auto m = adult.match(f);
        if (m.hasMatch()) {
            found.push_back({m.captured(1) == QLatin1String("f"), m.captured(2).toInt(), f});
        }
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.female != b.female ? !a.female : a.number < b.number;
    });
    std::vector<EspeakVariantInfo> out;
    for (const auto& f : found) {
        out.push_back(
            {(f.female ? QStringLiteral("Adult Female ") : QStringLiteral("Adult Male ")) +
                 QString::number(f.number),
             f.file.toUtf8()});
    }
    return out;
}

void addFliteVoices(SpeechCatalogue& catalogue, const QString& voiceFileFolder) {
    auto add = [&catalogue](const QString& name, const QByteArray& id) {
        catalogue.SpeechEngineList.append(name);
        catalogue.SpeechEngineModes.push_back({name, id});
    };
    const QByteArray prefix(kFliteVoicePrefix);
    add(QStringLiteral("Flite slt (US English, female)"), prefix + "slt");
    add(QStringLiteral("Flite rms (US English, male)"), prefix + "rms");
    add(QStringLiteral("Flite awb (Scottish English, male)"), prefix + "awb");
    add(QStringLiteral("Flite kal16 (US English, male, diphone)"), prefix + "kal16");
    if (voiceFileFolder.isEmpty()) {
        return;
    }
    const QDir folder(voiceFileFolder);
    const QStringList files =
        folder.entryList({QStringLiteral("*") + QLatin1String(kFliteVoiceFileSuffix)},
                         QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& file : files) {
        const QString stem = file.left(file.size() - qsizetype(std::strlen(kFliteVoiceFileSuffix)));
        add(QStringLiteral("Flite %1 (voice file)").arg(stem),
            prefix + QFile::encodeName(folder.absoluteFilePath(file)));
    }
}

SpeechCatalogue LoadSpeechEngines(const QString& dataPath, const QString& fliteVoiceFolder) {
    const QByteArray path = dataPath.toUtf8();
    espeak_ng_InitializePath(dataPath.isEmpty() ? nullptr : path.constData());
    const char* dataFolder = nullptr;
    espeak_Info(&dataFolder);
    const QString folder = dataFolder != nullptr ? QString::fromUtf8(dataFolder) : dataPath;
    const QString voicesFolder = folder + QStringLiteral("/voices");

    std::vector<EspeakVoiceInfo> voices;
    if (QDir(voicesFolder).exists()) {
        for (const espeak_VOICE** v = espeak_ListVoices(nullptr); v != nullptr && *v != nullptr;
             ++v) {
            const char* languages = (*v)->languages;
            // The language list starts with a priority byte.
            const QByteArray language = (languages != nullptr && languages[0] != '\0')
                                            ? QByteArray(languages + 1)
                                            : QByteArray();
            voices.push_back(
                {QString::fromUtf8((*v)->name), QByteArray((*v)->identifier), language.toLower()});
        }
    }
    SpeechCatalogue c = buildSpeechCatalogue(voices, readEspeakVariants(voicesFolder + "/!v"));
    if (!voices.empty()) {
        addFliteVoices(c, fliteVoiceFolder);
    } else {
        c.SetupError =
            QString::fromLatin1(kSpeechSetupErrorText) +
            QStringLiteral("No espeak-ng voices were found in \"%1\".").arg(voicesFolder);
    }
    return c;
}

const std::array<QString, 4>& defaultSlotVoices() {
    static const std::array<QString, 4> voices{
        QStringLiteral("English (America) - Adult Male 1"),
        QStringLiteral("English (Great Britain) - Adult Male 2"),
        QStringLiteral("English (America) - Adult Male 3"),
        QStringLiteral("English (Great Britain) - Adult Male 4"),
    };
    return voices;
}

SlotVoice slotVoice(const QStringList& installed, const QString& wanted, int slot) {
    auto find = [&installed](const QString& name) -> QString {
        for (const QString& v : installed) {
            if (v.compare(name, Qt::CaseInsensitive) == 0) {
                return v;
            }
        }
        return {};
    };
    if (const QString own = find(wanted); !own.isEmpty() || installed.isEmpty()) {
        return {own.isEmpty() ? wanted : own, false};
    }
    if (slot >= 1 && slot <= static_cast<int>(defaultSlotVoices().size())) {
        if (const QString first = find(defaultSlotVoices()[static_cast<std::size_t>(slot - 1)]);
            !first.isEmpty()) {
            return {first, true};
        }
    }
    for (const QString& v : installed) {
        if (v.startsWith(QStringLiteral("English"), Qt::CaseInsensitive)) {
            return {v, true};
        }
    }
    return {installed.constFirst(), true};
}

} // namespace corvalin
