#pragma once

#include <QString>

// Key press to new picture on screen: opens `clip1080p` (a clip whose frames
// show their index, see tests/media) in a Framewright window on a real X
// server (the xcb platform), sends step keys through XTest and times each
// until the picture the server shows carries the new index. D steps
// forward; A steps back right after a forward step, which the FFmpeg source
// serves from its cache. Both frame sources are measured; median and max go
// to standard output, with the cost of the screen grab alone (the timings
// include one grab per poll). False, with the reason on standard error, when
// it cannot run.
bool runScreenLatency(const QString &clip1080p);
