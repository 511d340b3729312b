#pragma once

#include <string>

namespace quillon::test {

// A 440 Hz tone as a WAV file's bytes: 16-bit stereo PCM at 44100 Hz.
std::string toneWav(double seconds);

// A minute of generated music of unlike characters, as sources of the encoder's filter graphs ("-f lavfi -i <source>"):
// a soft pad with loud clicks, a dense song limited to near full scale, and speech-like bursts with pauses.
inline constexpr const char* kQuietWithPeaks =
    "anoisesrc=d=60:c=pink:a=0.05:seed=3[n];sine=f=330:d=60,volume=0.03[s];"
    "aevalsrc='0.95*sin(2*PI*2000*t)*exp(-800*mod(t,1.5))':d=60:s=44100[h];[n][s][h]amix=inputs=3:normalize=0";
inline constexpr const char* kDenseAndLoud = "anoisesrc=d=60:c=pink:a=0.7:seed=7[n];sine=f=110:d=60[b];[n][b]amix="
                                             "inputs=2:normalize=0,acompressor=threshold=0.1:ratio=20:makeup=8,"
                                             "alimiter=limit=0.98";
inline constexpr const char* kSpeechLike =
    "anoisesrc=d=60:c=white:a=0.5:seed=5,bandpass=f=800:width_type=h:w=1500,volume='0.5*(1+sin(2*PI*4*t))*"
    "gt(sin(2*PI*0.3*t),-0.3)':eval=frame[v];anoisesrc=d=60:c=white:a=0.002:seed=9[h];[v][h]amix=inputs=2:normalize=0";

}  // namespace quillon::test
