#pragma once

#include "app/command_line.h"
#include "engine/correction_settings.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"
#include "lensdb/lens_database.h"
#include "lensdb/lens_history.h"
#include "lensdb/lens_selection.h"
#include "metadata/shot_info.h"
#include "settings/languages.h"
#include "settings/settings_io.h"
#include "settings/settings_values.h"
#include "text/string_table.h"

// The state of one run of the program, in parts that live as long as their
// content: what persists between runs, what is loaded once per run, and the
// photo in work. Only the program's entry owns an AppState; everything below
// receives the parts it needs by reference, so tests can build as many
// independent states as they like.
//
// Release points: the photo's pixels and metadata blocks are freed by the next
// LoadImageFile (and at exit); the language tables, the lens database and the
// lens history live for the whole run. Members are destroyed in reverse order,
// so the lens selection (which points into the database) goes before it and
// the worker pool is stopped first.

namespace quillon::app {

// What the user keeps from run to run.
struct StoredState {
    settings::SettingsValues values;
    engine::CorrectionSettings correction;
    lensdb::LensHistory history;
    // What the settings file held when it was loaded: a save writes only what
    // the run changed.
    settings::LoadedSettings loaded;
};

// Loaded at start-up and kept until exit.
struct SessionData {
    settings::LanguageTable languages;
    text::StringTable strings;
    lensdb::LensDatabase database;
};

// The photo in work and what was found out about it.
struct ImageState {
    CurrentImage image;
    metadata::ShotInfo shot;
    lensdb::LensSelection selection;
    bool imageShown = false;  // a window shows the image (never in the quiet mode)
};

struct AppState {
    SessionData session;
    StoredState stored;
    ImageState current;
    StartMode start;
    engine::WorkerPool pool;
};

}  // namespace quillon::app
