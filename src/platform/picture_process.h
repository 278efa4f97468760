// Pictures made by a short-lived process of the launcher's own executable: picture
// files decoded by SDL2_image, and the icons of the desktop's theme. SDL2 brings sound
// libraries with it that, once loaded, stay for the rest of the run (about 1.2 MiB), and
// Qt decodes an icon from the theme's largest picture of it (Adwaita's are 512 x 512: a
// MiB, twice over while it is converted) only to show it at 32 pixels. The launcher
// gets the finished picture through a pipe and carries none of that. A decoder that
// trips over a damaged file takes only its own process down.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

class QObject;

namespace platform {

// The window's pictures are small: no side may be longer than this.
constexpr std::uint32_t MAX_PICTURE_SIDE = 16384;

// The size of the picture in `path` as its header says, read without decoding it;
// empty when the file is missing, larger than 64 MiB or a damaged IFF picture.
QSize picture_file_size(const std::string &path);

enum class PictureJob {
    decode_file, // args: the file's path
    theme_icon,  // args: see theme_icon_image
};

// One picture being made by its process, which writes the picture's width and height,
// then its rows of ARGB pixels, to a pipe.
class PictureProcess {
  public:
    // Starts the process for `job`; its picture may be at most `max` large.
    PictureProcess(PictureJob job, const std::vector<std::string> &args, QSize max);
    ~PictureProcess(); // ends a process that has not finished
    PictureProcess(const PictureProcess &) = delete;
    PictureProcess &operator=(const PictureProcess &) = delete;

    // Readable while the process has more to say; -1 once it has finished.
    int fd() const { return fd_; }
    // Takes what the process has written so far; true once it has finished.
    bool read_more();
    // Waits, at most `timeout_ms`, for the process to finish.
    void wait(int timeout_ms);
    // The picture once the process has finished; null when it made none.
    const QImage &image() const { return image_; }

  private:
    bool start_image();
    void finish(bool complete);

    pid_t pid_ = -1;
    int fd_ = -1;
    QSize max_;
    QImage image_;
    std::uint32_t header_[2] = {};
    std::size_t received_ = 0;
};

// Runs the job in the background, through the event loop; `done` gets the picture, or
// a null one when there is none. A job still running when `owner` goes ends with it,
// and `done` is not called.
void picture_later(PictureJob job, const std::vector<std::string> &args, QSize max, QObject *owner,
                   std::function<void(const QImage &)> done);

// The icon job, done in the picture process, which has no display: `args` are the
// icon's name, its size in device-independent pixels and the device pixels to each,
// the desktop's icon theme, its fallback and the folders to look in. The icon is at
// least that size; null when no theme has it.
QImage theme_icon_image(const std::vector<std::string> &args);

// Looks the icon up in the desktop's icon theme and makes it for this screen, in a
// picture process; `done` as for picture_later.
void theme_icon_later(const std::string &name, int size, QObject *owner,
                      std::function<void(const QPixmap &)> done);

} // namespace platform
