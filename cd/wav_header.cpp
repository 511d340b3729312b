#include "cd/wav_header.h"

#include <cstring>

namespace quillon::cd {
namespace {

constexpr std::uint16_t kChannels = 2;
constexpr std::uint32_t kSampleRate = 44100;
constexpr std::uint16_t kBitsPerSample = 16;
constexpr std::uint16_t kBlockAlign = kChannels * kBitsPerSample / 8;

class HeaderWriter {
public:
    explicit HeaderWriter(std::array<std::uint8_t, kWavHeaderBytes>& out) : out_(out) {}
    void tag(const char (&text)[5])
    {
        std::memcpy(out_.data() + pos_, text, 4);
        pos_ += 4;
    }
    void u16(std::uint16_t value) { put(value, 2); }
    void u32(std::uint32_t value) { put(value, 4); }

private:
    void put(std::uint32_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            out_[pos_++] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    std::array<std::uint8_t, kWavHeaderBytes>& out_;
    std::size_t pos_ = 0;
};

}  // namespace

std::array<std::uint8_t, kWavHeaderBytes> wavHeader(std::uint32_t dataBytes)
{
    std::array<std::uint8_t, kWavHeaderBytes> header{};
    HeaderWriter w(header);
    w.tag("RIFF");
    w.u32(dataBytes + 36);
    w.tag("WAVE");
    w.tag("fmt ");
    w.u32(16);
    w.u16(1);  // PCM
    w.u16(kChannels);
    w.u32(kSampleRate);
    w.u32(kSampleRate * kBlockAlign);
    w.u16(kBlockAlign);
    w.u16(kBitsPerSample);
    w.tag("data");
    w.u32(dataBytes);
    return header;
}

bool writeWavHeader(std::FILE* file, std::uint32_t dataBytes)
{
    if (!file)
        return false;
    const auto header = wavHeader(dataBytes);
    return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(header.data(), 1, header.size(), file) == header.size();
}

}  // namespace quillon::cd
