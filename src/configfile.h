// The game's preferences: named sections of named options with text values, kept in
// the order they were created, read from and written to "Karthos.prefs" in the
// program directory. Names match without regard to ASCII letter case and keep the
// case they were first created with.
#pragma once

#include "platform/types.h"

// Creates the store and loads the preferences file; a missing file gives an empty
// store. False only when the store itself cannot be created.
BOOL config_init();

// Writes the whole store to the preferences file, replacing it only when every byte
// was written, and not at all when it holds those bytes already. When another program
// changed the file since the store was read from it (or last written to it), only the
// settings the player changed go on top of what is on disk now. False (after telling
// the user) when the file could not be replaced, or could no longer be read.
BOOL config_save();

// Calls `store_values`, whose config_set_option calls then store nothing, but note the
// values as those the player was shown: a setting stored later with another value is
// one the player changed.
void config_note_shown(void (*store_values)());

// Releases the whole store; does nothing when it was never created.
void config_shut();

// The stored value, or `defval` when the section or the key is absent. The pointer
// stays valid until the option gets a longer value or the store is released.
CONST_STRPTR config_get_option(CONST_STRPTR section, CONST_STRPTR key, CONST_STRPTR defval);

// Stores `val`, creating the section and the option as needed.
BOOL config_set_option(CONST_STRPTR section, CONST_STRPTR key, CONST_STRPTR val);

// The stored value read as a decimal integer (the atoi rule), or `defval` when absent.
int32 config_get_int(CONST_STRPTR section, CONST_STRPTR key, int32 defval);

// Stores `val` as decimal text.
BOOL config_set_int(CONST_STRPTR section, CONST_STRPTR key, int32 val);
