// Written by scripts/translations.sh from resources/command; run its update after changing the catalogue.

#include "ShippedFormatNames.h"

#include <QtGlobal>

namespace {

const char* const kNames[] = {
    QT_TRANSLATE_NOOP("Catalogue", "MP4 video (H.264 + AAC)"),
    QT_TRANSLATE_NOOP("Catalogue", "MP4 video (H.265 + AAC)"),
    QT_TRANSLATE_NOOP("Catalogue", "WebM video (VP9 + Opus)"),
    QT_TRANSLATE_NOOP("Catalogue", "MKV video (H.264 + AAC)"),
    QT_TRANSLATE_NOOP("Catalogue", "AVI video (MPEG-4 + MP3)"),
    QT_TRANSLATE_NOOP("Catalogue", "MOV video (H.264 + AAC)"),
    QT_TRANSLATE_NOOP("Catalogue", "FLV video (H.264 + AAC)"),
    QT_TRANSLATE_NOOP("Catalogue", "MPEG-2 video, DVD style (MPEG-2 + AC-3)"),
    QT_TRANSLATE_NOOP("Catalogue", "Animated GIF (no sound)"),
    QT_TRANSLATE_NOOP("Catalogue", "MP3 audio"),
    QT_TRANSLATE_NOOP("Catalogue", "M4A audio (AAC)"),
    QT_TRANSLATE_NOOP("Catalogue", "FLAC audio (lossless)"),
    QT_TRANSLATE_NOOP("Catalogue", "Opus audio"),
    QT_TRANSLATE_NOOP("Catalogue", "WAV audio (PCM 16-bit)"),
    QT_TRANSLATE_NOOP("Catalogue", "MP4 video, hardware (VAAPI H.264 + AAC)"),
    QT_TRANSLATE_NOOP("Catalogue", "MP4 video, hardware (VAAPI H.265 + AAC)"),
};

} // namespace

std::span<const char* const> shippedFormatNames()
{
    return kNames;
}
