// Picture files are decoded by SDL2_image in a short-lived process of the launcher's
// own executable. SDL2 brings sound libraries with it that, once loaded, stay loaded
// for the rest of the run (about 1.2 MiB a player would carry for nothing), and a
// decoder that trips over a damaged file takes only that process down.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

class QObject;

namespace platform {

// The window's pictures are small: no side may be longer than this.
constexpr std::uint32_t MAX_PICTURE_SIDE = 16384;

// The size of the picture in `path` as its header says, read without decoding it;
// empty when the file is missing, larger than 64 MiB or a damaged IFF picture.
QSize picture_file_size(const std::string &path);

// One picture file being decoded by its process, which writes the pixels to a pipe.
class PictureDecoding {
  public:
    // Starts the decoder for `path`, whose picture is `size` (from picture_file_size).
    PictureDecoding(const std::string &path, QSize size);
    ~PictureDecoding(); // ends a decoder that has not finished
    PictureDecoding(const PictureDecoding &) = delete;
    PictureDecoding &operator=(const PictureDecoding &) = delete;

    // Readable while the decoder has more to say; -1 once it has finished.
    int fd() const { return fd_; }
    // Takes what the decoder has written so far; true once it has finished.
    bool read_more();
    // Waits, at most `timeout_ms`, for the decoder to finish.
    void wait(int timeout_ms);
    // The picture once the decoder has finished; null when it could not decode it.
    const QImage &image() const { return image_; }

  private:
    void finish(bool complete);

    pid_t pid_ = -1;
    int fd_ = -1;
    QImage image_;
    std::uint32_t header_[2] = {};
    std::size_t received_ = 0;
};

// Decodes `path` in the background, through the event loop; `done` gets the picture,
// or a null one when it cannot be decoded. A decoding still running when `owner` goes
// ends with it, and `done` is not called.
void decode_picture_later(const std::string &path, QSize size, QObject *owner,
                          std::function<void(QImage)> done);

} // namespace platform
