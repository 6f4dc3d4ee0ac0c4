#pragma once

// Sound files made at test time with ffmpeg, and small helpers to look at PCM.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace corvalin::test {

// A sine of `hz` (lavfi's amplitude, 1/8 of full scale) for `seconds`, encoded with `codec`
// ("pcm_s16le", "pcm_u8", "libmp3lame", "wmav2", ...) into `path`. channels 1..3; `extra`: more
// ffmpeg output options.
bool makeTone(const QString& path, double seconds, const QString& codec, int channels = 2,
              int hz = 440, int rate = 44100, const QStringList& extra = {});
// A VBR MP3 (LAME quality `quality`, with its table of contents) of two tones, with noise in every
// other second so that the bit rate swings.
bool makeVbrMp3(const QString& path, double seconds, int quality = 2);
// One MP3 stream of a 440 Hz tone: 3 s at 44.1 kHz, then 2 s at 48 kHz. The two parts are kept
// beside it as `path` + ".44" and `path` + ".48".
bool makeRateChangeMp3(const QString& path);
// A full-scale square wave of 100 Hz.
bool makeSquare(const QString& path, double seconds, const QString& codec, int channels = 2);
// Left channel silent, right channel a full-scale square wave (16-bit stereo WAV).
bool makeRightOnlySquare(const QString& path, double seconds);
// What `ffmpeg -f <rawFormat>` gives for the file (its own rate and channels).
QByteArray ffmpegPcm(const QString& path, const QString& rawFormat = QStringLiteral("s16le"));

std::vector<std::int16_t> toSamples(const QByteArray& bytes);
// Amplitude of the `hz` component of one channel (0 or 1) of interleaved stereo at 44100 Hz.
double toneAmplitude(const std::int16_t* stereo, std::size_t frames, int channel, double hz);

} // namespace corvalin::test
