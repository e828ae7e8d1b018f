#pragma once

#include <QString>

#include <cstdint>

// A running item's activity block in the second column: this many pixels
// wide, it moves one pixel a tick from 0 to kLastActivityPos, then starts over.
inline constexpr std::uint32_t kLastActivityPos = 74;
inline constexpr int kActivityBlockWidth = 15;

// The job item proper.
struct TItemData {
    QString FileName; // full path of the source file
    std::int32_t FormatIndex = 0; // position in the format catalogue
    QString Path; // output directory; empty means the global path
    std::uint32_t ActivityPos = 0; // 0..kLastActivityPos, offset of the activity block
    std::int64_t SizeLimit = 0; // the most bytes its output may take; 0: no limit
    // Its folder relative to the root of the tree it was queued from,
    // "/"-separated, with no "/" at either end; empty when it came alone.
    QString Subfolder;
};

// How far a running item has come, as far as ffmpeg has said.
struct ItemProgress {
    double duration = 0; // the input's length in seconds; 0 when unknown
    double position = 0; // seconds of the input converted so far
    double speed = 0; // times real time; 0 when not said yet
    double fraction = -1; // 0..1 of the input; -1 without a known length
    double secondsLeft = -1; // for this item; -1 when it cannot be told yet
    bool checking = false; // the output is being decoded to check it, not converted
    // Which of a size-limited item's passes is running (from 1), of how many; 0 and 0 with one pass.
    int pass = 0;
    int passes = 0;
};

// Where an item is in its life. The lane that converts an item is the one
// place that moves it on; the list shows what it was told, and a kept queue
// reads back the ended states.
enum class ItemState : std::int32_t {
    waiting, // not started (in this run, or ever)
    starting, // ffmpeg's abilities are being asked
    converting,
    paused, // held with the whole run, in any of the working states
    measuring, // its output's streams are being measured against the input's
    checking, // its output is being decoded whole to check it
    publishing, // its output is being put on the disk under its name
    done,
    failed,
    stopped,
    skipped, // not converted, rightly: its output is there already, or its input is in its entry's form
};

// An item that a lane holds: from starting to publishing.
constexpr bool isWorking(ItemState state)
{
    return state != ItemState::waiting && state != ItemState::done && state != ItemState::failed
        && state != ItemState::stopped && state != ItemState::skipped;
}

// Needing no more converting: converted, or skipped as converted already or
// already in its entry's form. Convert the rest leaves these alone.
constexpr bool isFinished(ItemState state)
{
    return state == ItemState::done || state == ItemState::skipped;
}

// The state pictures: the four first are those of waiting, working, done
// and failed items; stopped and skipped ones have their own.
enum TItemStatePicture : std::int32_t {
    kStateQueued = 0,
    kStateConverting = 1,
    kStateDone = 2,
    kStateFailed = 3,
    kStateStopped = 4,
    kStateSkipped = 5,
};

constexpr std::int32_t statePicture(ItemState state)
{
    switch (state) {
    case ItemState::waiting: return kStateQueued;
    case ItemState::done: return kStateDone;
    case ItemState::failed: return kStateFailed;
    case ItemState::stopped: return kStateStopped;
    case ItemState::skipped: return kStateSkipped;
    default: return kStateConverting;
    }
}

// The record every job list node carries.
struct TItemNodeData {
    std::uint8_t Kind = 0; // 1 for every job item
    // Written by the job list alone, as the item's lane or a kept queue tells it.
    ItemState State = ItemState::waiting;
    QString Root; // kept with the node; nothing reads it
    TItemData Item;
    QString Failure; // why the last conversion failed (ffmpeg's last line); empty otherwise
    ItemProgress Progress; // while converting
    QString Output; // the file the last conversion made; empty unless done
    std::int64_t OutputSize = -1; // its bytes, where measured; -1 otherwise
    QString Remark; // what is worth telling of a conversion that succeeded: unchecked, decoding errors
    QString Log; // ffmpeg's whole output of the last conversion, where it was kept
};
