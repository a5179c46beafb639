#include "support/source_reader.h"

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdio>

#include "toolkit/handles.h"

namespace testsupport {

namespace {

using tk::ComPtr;

// COM and Media Foundation for one reading; the reader is released before they end.
class MediaFoundationSession {
 public:
  MediaFoundationSession()
      : com_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))),
        started_(MFStartup(MF_VERSION)) {}
  ~MediaFoundationSession() {
    if (SUCCEEDED(started_)) MFShutdown();
    if (com_) CoUninitialize();
  }
  MediaFoundationSession(const MediaFoundationSession&) = delete;
  MediaFoundationSession& operator=(const MediaFoundationSession&) = delete;
  HRESULT started() const { return started_; }

 private:
  bool com_;
  HRESULT started_;
};

bool Failed(SourceReading* r, HRESULT hr, const char* where) {
  if (SUCCEEDED(hr)) return false;
  if (r->ok()) {
    r->failure = hr;
    r->where = where;
  }
  return true;
}

// The reader's stream index of the first stream of `major`, or -1.
DWORD FirstStreamOf(IMFSourceReader* reader, const GUID& major) {
  for (DWORD i = 0;; ++i) {
    ComPtr<IMFMediaType> type;
    if (FAILED(reader->GetNativeMediaType(i, 0, type.put()))) return MAXDWORD;
    GUID m{};
    if (SUCCEEDED(type->GetGUID(MF_MT_MAJOR_TYPE, &m)) && m == major) return i;
  }
}

// Selects the stream and asks for it decoded (the reader adds the decoder); notes its format.
bool SelectDecoded(IMFSourceReader* reader, DWORD index, const GUID& major, const GUID& subtype,
                   SourceReaderStream* stream, SourceReading* r) {
  ComPtr<IMFMediaType> want;
  if (Failed(r, reader->SetStreamSelection(index, TRUE), "SetStreamSelection") ||
      Failed(r, MFCreateMediaType(want.put()), "MFCreateMediaType") ||
      Failed(r, want->SetGUID(MF_MT_MAJOR_TYPE, major), "SetGUID") ||
      Failed(r, want->SetGUID(MF_MT_SUBTYPE, subtype), "SetGUID") ||
      Failed(r, reader->SetCurrentMediaType(index, nullptr, want.get()), "SetCurrentMediaType"))
    return false;
  ComPtr<IMFMediaType> got;
  if (Failed(r, reader->GetCurrentMediaType(index, got.put()), "GetCurrentMediaType")) return false;
  stream->present = true;
  UINT64 size = 0;
  if (SUCCEEDED(got->GetUINT64(MF_MT_FRAME_SIZE, &size))) {
    stream->width = static_cast<uint32_t>(size >> 32);
    stream->height = static_cast<uint32_t>(size);
  }
  UINT32 value = 0;
  if (SUCCEEDED(got->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &value))) stream->sampleRate = value;
  if (SUCCEEDED(got->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &value))) stream->channels = value;
  return true;
}

int64_t FileDuration(IMFSourceReader* reader) {
  PROPVARIANT v;
  PropVariantInit(&v);
  int64_t duration = 0;
  if (SUCCEEDED(
          reader->GetPresentationAttribute(MF_SOURCE_READER_MEDIASOURCE, MF_PD_DURATION, &v)) &&
      v.vt == VT_UI8)
    duration = static_cast<int64_t>(v.uhVal.QuadPart);
  PropVariantClear(&v);
  return duration;
}

// Float samples: 4 bytes a channel.
uint64_t AudioFrames(IMFSample* sample, uint32_t channels) {
  DWORD bytes = 0;
  if (channels == 0 || FAILED(sample->GetTotalLength(&bytes))) return 0;
  return bytes / (4u * channels);
}

void Note(IMFSample* sample, LONGLONG time, SourceReaderStream* stream) {
  LONGLONG duration = 0;
  sample->GetSampleDuration(&duration);
  stream->times.push_back(time);
  stream->durations.push_back(duration);
  stream->audioFrames += AudioFrames(sample, stream->channels);
}

void ReadSamples(IMFSourceReader* reader, DWORD videoIndex, DWORD audioIndex, DWORD timeoutMs,
                 SourceReading* r) {
  const DWORD start = GetTickCount();
  while (!(r->video.ended || !r->video.present) || !(r->audio.ended || !r->audio.present)) {
    if (GetTickCount() - start > timeoutMs) {
      Failed(r, HRESULT_FROM_WIN32(ERROR_TIMEOUT), "ReadSample (timed out)");
      return;
    }
    DWORD index = 0, flags = 0;
    LONGLONG time = 0;
    ComPtr<IMFSample> sample;
    if (Failed(
            r,
            reader->ReadSample(MF_SOURCE_READER_ANY_STREAM, 0, &index, &flags, &time, sample.put()),
            "ReadSample"))
      return;
    if (flags & MF_SOURCE_READERF_ERROR) {
      Failed(r, E_FAIL, "ReadSample (stream error)");
      return;
    }
    SourceReaderStream* stream = index == videoIndex   ? &r->video
                                 : index == audioIndex ? &r->audio
                                                       : nullptr;
    if (!stream) continue;
    if (sample) Note(sample.get(), time, stream);
    if (flags & MF_SOURCE_READERF_ENDOFSTREAM) stream->ended = true;
  }
}

}  // namespace

SourceReading ReadWithSourceReader(const std::wstring& path, DWORD timeoutMs) {
  SourceReading r;
  MediaFoundationSession session;
  if (Failed(&r, session.started(), "MFStartup")) return r;
  ComPtr<IMFSourceReader> reader;
  if (Failed(&r, MFCreateSourceReaderFromURL(path.c_str(), nullptr, reader.put()),
             "MFCreateSourceReaderFromURL"))
    return r;
  r.duration = FileDuration(reader.get());
  if (Failed(&r, reader->SetStreamSelection(MF_SOURCE_READER_ALL_STREAMS, FALSE),
             "SetStreamSelection"))
    return r;
  const DWORD video = FirstStreamOf(reader.get(), MFMediaType_Video);
  const DWORD audio = FirstStreamOf(reader.get(), MFMediaType_Audio);
  // I420 and float: what this Wine's decoders hand over (RGB32 it refuses).
  if (video != MAXDWORD &&
      !SelectDecoded(reader.get(), video, MFMediaType_Video, MFVideoFormat_I420, &r.video, &r))
    return r;
  if (audio != MAXDWORD &&
      !SelectDecoded(reader.get(), audio, MFMediaType_Audio, MFAudioFormat_Float, &r.audio, &r))
    return r;
  ReadSamples(reader.get(), video, audio, timeoutMs, &r);
  return r;
}

std::string Describe(const SourceReading& r) {
  char line[256];
  std::string out;
  if (!r.ok()) {
    std::snprintf(line, sizeof line, "failed: %s 0x%08lx\n", r.where.c_str(),
                  static_cast<unsigned long>(r.failure));
    out += line;
  }
  std::snprintf(line, sizeof line, "duration %.4f s\n", r.duration / 1e7);
  out += line;
  const auto stream = [&](const char* name, const SourceReaderStream& s) {
    if (!s.present) return;
    std::snprintf(line, sizeof line,
                  "%s: %zu samples%s, first %.4f s, end %.4f s, %ux%u, %u Hz x%u, %llu frames\n",
                  name, s.times.size(), s.ended ? " to the end" : "",
                  s.times.empty() ? 0.0 : s.times[0] / 1e7, s.End() / 1e7, s.width, s.height,
                  s.sampleRate, s.channels, static_cast<unsigned long long>(s.audioFrames));
    out += line;
  };
  stream("video", r.video);
  stream("audio", r.audio);
  return out;
}

}  // namespace testsupport
