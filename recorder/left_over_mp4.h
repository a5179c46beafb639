#pragma once
// A recording the program was killed in (or lost its power during) is left as fragments, which
// browsers play but Windows' own player handles badly: at the next start the windows hand its
// path here, and it is finished into a plain MP4 in place (mp4_repair.h).
#include <string>

#include "mp4/mp4_repair.h"

namespace orvik {

// Repairs the MP4 at `path` when it is one our writer left as fragments for the recording
// `ours`; a missing file, one that is not ours or one already finished is left as it is
// (NotOurs / Finished). Failed when the file could not be opened for writing or a write failed
// (it can be repaired again); Cancelled when `progress` said stop (mp4::Repair).
mp4::RepairReport RepairLeftOverMp4(const std::wstring& path, const mp4::RecordingId& ours = {},
                                    const mp4::RepairProgress& progress = {});

}  // namespace orvik
