// Host services: directories and the user's language.
#pragma once

#include "platform/types.h"

#include <string>

namespace platform {

// True when `path` is a directory that can be opened for reading; the directory is
// released again at once.
bool directory_exists(const std::string &path);

// The locale that decides the language of messages, as the C library reads it: LC_ALL,
// LC_MESSAGES or LANG, the first that is set. Empty when none is.
std::string messages_locale();

// The user's language as a three-letter ISO 639-2/T code ("deu", "fra", "eng", ...),
// from messages_locale(). Empty when there is none, or for the "C" and "POSIX" locales.
std::string user_language_code();

} // namespace platform
