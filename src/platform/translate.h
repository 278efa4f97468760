// The launcher's texts in the user's language. Texts are written in English where
// they belong and marked with KT_TR, which lupdate reads as QT_TRANSLATE_NOOP
// (scripts/update-translations.sh); whoever shows a text looks it up by its context
// and its English words.
#pragma once

#include "platform/types.h"

#include <string>
#include <vector>

#define KT_TR(context, text) text

namespace platform {

// `text` of `context` in the first of the desktop's UI languages that the launcher
// has (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), as UTF-8; `text` itself in English, under
// the C or POSIX locale, or where a translation is missing. Valid until the end.
CONST_STRPTR translated(CONST_STRPTR context, CONST_STRPTR text);

// The languages the launcher has besides English ("de", "fr"), and a text in one of them.
std::vector<std::string> translation_languages();
std::string translated_in(const std::string &language, CONST_STRPTR context, CONST_STRPTR text);

// Gives the application object the same language for the texts Qt draws itself (a
// text field's context menu), from Qt's own translations where they are installed.
void install_toolkit_translation();

} // namespace platform
