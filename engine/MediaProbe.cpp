#include "MediaProbe.h"

#include "MeasureCache.h"
#include "OutputCheck.h"
#include "ProgressReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QEventLoop>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <unistd.h>

namespace {

std::atomic<long long> deadlineMs {10 * 60 * 1000};

// What ffprobe is asked: the demuxer, each stream's kind, timing and packets.
// and what it is made of: codecs, the picture's pixels, the sound's rate and channels, the brand.
constexpr const char* kEntries = "stream=codec_type,start_time,duration,nb_read_packets,avg_frame_rate,r_frame_rate,"
                                 "codec_name,codec_tag_string,pix_fmt,sample_rate,channels,bit_rate:"
                                 "stream_tags=DURATION:stream_disposition=attached_pic:"
                                 "format=format_name,start_time,duration:format_tags=major_brand";

// ffprobe gives numbers as text; absent or "N/A" is -1.
double number(const QJsonValue& value)
{
    if (value.isDouble())
        return value.toDouble();
    bool ok = false;
    const double parsed = value.toString().toDouble(&ok);
    return ok ? parsed : -1;
}

// "25/1" as 25; 0 when it is no rate.
double rate(const QJsonValue& value)
{
    const QStringList parts = value.toString().split('/');
    if (parts.size() != 2)
        return 0;
    const double denominator = parts[1].toDouble();
    return denominator > 0 ? parts[0].toDouble() / denominator : 0;
}

MediaStream::Kind kindNamed(std::string_view name)
{
    if (name == "video" || name == "Video")
        return MediaStream::Kind::video;
    if (name == "audio" || name == "Audio")
        return MediaStream::Kind::sound;
    if (name == "subtitle" || name == "Subtitle")
        return MediaStream::Kind::subtitle;
    return MediaStream::Kind::other;
}

// Matroska and MP4 state their length as the end of their timeline, which a
// start offset (a piece cut by a segment muxer) is part of; MPEG-TS and the
// rest state the length itself.
bool claimsEndTime(const std::string& format)
{
    return format.find("matroska") != std::string::npos || format.starts_with("mov,");
}

std::string_view afterPrefix(std::string_view text, std::string_view prefix)
{
    return text.starts_with(prefix) ? text.substr(prefix.size()) : std::string_view();
}

} // namespace

std::vector<const MediaStream*> MediaContents::ofKind(MediaStream::Kind kind) const
{
    std::vector<const MediaStream*> found;
    for (const MediaStream& stream : streams)
        if (stream.kind == kind && !stream.still)
            found.push_back(&stream);
    return found;
}

MediaContents MediaContents::fromProbeJson(const std::string& json)
{
    MediaContents contents;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        contents.answer = Answer::unreadable;
        return contents;
    }
    const QJsonObject format = document.object().value("format").toObject();
    if (format.isEmpty()) {
        contents.answer = Answer::unreadable;
        return contents;
    }
    contents.answer = Answer::measured;
    contents.format = format.value("format_name").toString().toStdString();
    contents.brand = format.value("tags").toObject().value("major_brand").toString().toStdString();
    contents.start = std::max(0.0, number(format.value("start_time")));
    const double claimed = number(format.value("duration"));
    if (claimed > 0)
        contents.seconds = claimsEndTime(contents.format) ? std::max(0.0, claimed - contents.start) : claimed;
    for (const QJsonValue& value : document.object().value("streams").toArray()) {
        const QJsonObject entry = value.toObject();
        MediaStream stream;
        stream.kind = kindNamed(entry.value("codec_type").toString().toStdString());
        stream.start = std::max(0.0, number(entry.value("start_time")));
        stream.seconds = number(entry.value("duration"));
        if (stream.seconds < 0) {
            // Matroska's per-stream length, written as the time its last packet ends.
            const double end
                = OutputCheck::parseDuration(entry.value("tags").toObject().value("DURATION").toString().toStdString());
            if (end >= 0)
                stream.seconds = std::max(0.0, end - stream.start);
        }
        const double packets = number(entry.value("nb_read_packets"));
        if (stream.kind == MediaStream::Kind::video && packets >= 0)
            stream.frames = static_cast<long long>(packets);
        stream.frameRate = rate(entry.value("avg_frame_rate"));
        stream.constantRate
            = stream.frameRate > 0 && std::abs(stream.frameRate - rate(entry.value("r_frame_rate"))) < 1e-3;
        stream.still = entry.value("disposition").toObject().value("attached_pic").toInt() != 0;
        stream.codec = entry.value("codec_name").toString().toStdString();
        // ffprobe writes an unset tag as its bytes, "[0][0][0][0]".
        const std::string tag = entry.value("codec_tag_string").toString().toStdString();
        if (tag.find('[') == std::string::npos)
            stream.codecTag = tag;
        stream.pixelFormat = entry.value("pix_fmt").toString().toStdString();
        stream.sampleRate = std::max(0, static_cast<int>(number(entry.value("sample_rate"))));
        stream.channels = std::max(0, entry.value("channels").toInt());
        if (const double bits = number(entry.value("bit_rate")); bits > 0)
            stream.bitRate = static_cast<long long>(bits);
        contents.streams.push_back(stream);
    }
    return contents;
}

MediaContents MediaContents::fromFfmpegListing(const std::vector<std::string>& lines)
{
    MediaContents contents;
    bool listed = false;
    for (const std::string& line : lines) {
        const std::string_view text = line;
        if (const std::string_view input = afterPrefix(text, "Input #0, "); !input.empty()) {
            listed = true;
            contents.format = std::string(input.substr(0, input.rfind(", from ")));
        } else if (!listed) {
            continue;
        } else if (const std::string_view timing = afterPrefix(text, "  Duration: "); !timing.empty()) {
            // "  Duration: 00:00:10.02, start: 0.000000, bitrate: 798 kb/s": indented by two, which no metadata is.
            const double claimed = ProgressReader::parseClock(timing.substr(0, timing.find(',')));
            const std::size_t at = timing.find("start: ");
            if (at != std::string_view::npos) {
                const std::string_view start = timing.substr(at + 7, timing.find(',', at) - at - 7);
                contents.start = std::max(0.0, OutputCheck::parseDuration(start));
            }
            if (claimed > 0)
                contents.seconds = claimsEndTime(contents.format) ? std::max(0.0, claimed - contents.start) : claimed;
        } else if (const std::string_view stream = afterPrefix(text, "  Stream #0:"); !stream.empty()) {
            // "  Stream #0:1(eng): Audio: aac …"
            const std::size_t colon = stream.find(": ");
            if (colon == std::string_view::npos)
                continue;
            const std::string_view described = stream.substr(colon + 2);
            MediaStream found;
            found.kind = kindNamed(described.substr(0, described.find(':')));
            found.still = described.find("(attached pic)") != std::string_view::npos;
            // "Video: h264 (High) (avc1 / 0x…), …": the codec's name alone; the rest is not told reliably.
            const std::size_t kindEnd = described.find(": ");
            if (kindEnd != std::string_view::npos) {
                const std::string_view codec = described.substr(kindEnd + 2);
                found.codec = std::string(codec.substr(0, codec.find_first_of(" ,")));
            }
            contents.streams.push_back(found);
        } else if (!text.starts_with("  ")) {
            break;
        }
    }
    contents.answer = listed ? Answer::measured : lines.empty() ? Answer::unknown : Answer::unreadable;
    return contents;
}

std::string MediaProbe::ffprobeBeside(const std::string& ffmpeg)
{
    if (ffmpeg.find('/') == std::string::npos)
        return QStandardPaths::findExecutable("ffprobe").toStdString();
    // The folder of the name given, not of what a link leads to: bin/ffprobe is linked beside bin/ffmpeg.
    const std::string beside = (std::filesystem::path(ffmpeg).parent_path() / "ffprobe").string();
    return ::access(beside.c_str(), X_OK) == 0 ? beside : std::string();
}

void MediaProbe::setDeadline(std::chrono::milliseconds deadline)
{
    deadlineMs = deadline.count();
}

MediaProbe::MediaProbe(const std::string& ffmpeg, const std::string& file, Done done, QObject* parent)
    : QObject(parent)
    , m_done(std::move(done))
{
    // The file protocol: a name is never taken for an option or another protocol.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    const std::string url = "file:" + (ec ? file : absolute.string());
    const std::string ffprobe = ffprobeBeside(ffmpeg);
    m_byFfprobe = !ffprobe.empty();
    if (m_byFfprobe)
        m_runner.Arguments = {ffprobe, "-v", "quiet", "-count_packets", "-show_entries", kEntries, "-of", "json", url};
    else
        m_runner.Arguments = {ffmpeg, "-hide_banner", "-nostdin", "-i", url};
    m_runner.CommandLine = m_runner.Arguments.front();
    m_runner.OnNewLine = [this](TDosCommand*, const std::string& line, TOutputType type) {
        if (type == otEntireLine)
            m_lines.push_back(line);
    };
    m_runner.OnTerminated = [this](TDosCommand*, std::uint32_t exitCode) { ended(exitCode); };
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        m_runner.signalChild(SIGCONT);
        m_runner.Stop();
    });
    // A program that is not there is told as no answer, not as an error of its own: the item's ffmpeg
    // reports that already.
    const std::string program = m_runner.Arguments.front();
    const bool found = program.find('/') == std::string::npos
        ? !QStandardPaths::findExecutable(QString::fromStdString(program)).isEmpty()
        : ::access(program.c_str(), X_OK) == 0;
    if (!found) {
        QMetaObject::invokeMethod(
            this, [this] { ended(kCannotStart); }, Qt::QueuedConnection);
        return;
    }
    // A file measured before by this ffprobe, and unchanged since, is answered from the cache.
    if (m_byFfprobe) {
        m_file = url.substr(5);
        m_fileStamp = MeasureCache::fileStamp(m_file);
        // The question is part of the prober: an answer to another question is no answer to this one.
        m_proberStamp = MeasureCache::programStamp(program);
        if (m_proberStamp)
            *m_proberStamp += '\t' + std::string(kEntries);
        if (m_fileStamp && m_proberStamp) {
            if (const std::optional<std::string> kept = MeasureCache::recall(*m_fileStamp, *m_proberStamp)) {
                MediaContents contents = MediaContents::fromProbeJson(*kept);
                if (contents.answer == MediaContents::Answer::measured) {
                    m_kept = std::move(contents);
                    QMetaObject::invokeMethod(this, &MediaProbe::tellKept, Qt::QueuedConnection);
                    return;
                }
            }
        }
    }
    m_deadline.start(static_cast<int>(std::min<long long>(deadlineMs.load(), INT32_MAX)));
    m_runner.Execute();
}

MediaProbe::~MediaProbe()
{
    m_runner.OnNewLine = nullptr;
    m_runner.OnTerminated = nullptr;
    cancel();
}

void MediaProbe::cancel()
{
    m_done = nullptr;
    m_answered = true;
    m_deadline.stop();
    m_runner.signalChild(SIGCONT);
    m_runner.Stop();
}

void MediaProbe::pause()
{
    m_held = true;
    if (m_answered || !m_deadline.isActive())
        return;
    m_runner.signalChild(SIGSTOP);
    m_timeLeftMs = std::max(1, m_deadline.remainingTime());
    m_deadline.stop();
}

void MediaProbe::resume()
{
    m_held = false;
    if (m_kept) {
        // From the event loop, never inside the caller's resume.
        QMetaObject::invokeMethod(this, &MediaProbe::tellKept, Qt::QueuedConnection);
        return;
    }
    if (m_answered || m_deadline.isActive() || m_timeLeftMs <= 0)
        return;
    m_runner.signalChild(SIGCONT);
    m_deadline.start(m_timeLeftMs);
    m_timeLeftMs = 0;
}

void MediaProbe::ended(std::uint32_t exitCode)
{
    if (m_answered || !m_done)
        return;
    m_answered = true;
    m_deadline.stop();
    MediaContents contents;
    if (m_timedOut || exitCode == kStillActive || exitCode == kCannotStart) {
        contents.answer = MediaContents::Answer::unknown;
    } else if (m_byFfprobe) {
        std::string json;
        for (const std::string& line : m_lines)
            json += line + '\n';
        // ffprobe ends with 1 for a file it cannot read, and says nothing with -v quiet.
        contents = exitCode == 0 ? MediaContents::fromProbeJson(json) : MediaContents {};
        if (exitCode != 0)
            contents.answer = MediaContents::Answer::unreadable;
        // Kept only when the file did not change while it was read.
        if (contents.answer == MediaContents::Answer::measured && m_fileStamp && m_proberStamp
            && MeasureCache::fileStamp(m_file) == m_fileStamp)
            MeasureCache::keep(*m_fileStamp, *m_proberStamp, json);
    } else {
        // ffmpeg ends with 1 here either way: it was given no output.
        contents = MediaContents::fromFfmpegListing(m_lines);
    }
    const Done done = std::move(m_done);
    done(contents);
}

void MediaProbe::tellKept()
{
    // Held, the answer waits for the resume, as a held ffprobe's would.
    if (m_answered || !m_done || m_held)
        return;
    m_answered = true;
    const MediaContents contents = std::move(*m_kept);
    m_kept.reset();
    const Done done = std::move(m_done);
    done(contents);
}

MediaContents MediaProbe::measureNow(const std::string& ffmpeg, const std::string& file)
{
    MediaContents contents;
    QEventLoop loop;
    bool answered = false;
    const MediaProbe probe(ffmpeg, file, [&](const MediaContents& measured) {
        contents = measured;
        answered = true;
        loop.quit();
    });
    if (!answered)
        loop.exec();
    return contents;
}
