// What the Axis Configuration page's "&Load Config" and "&Save Config" buttons
// do with the settings store, for the model of the page's card.
#pragma once

#include "settings_store.h"

// Asks for a configuration file of the model in the Windows system folder and
// loads it into the store, which applies it. Nothing happens without a Windows
// folder or when the user cancels.
void LoadConfigAsked(CSettingsStore& store, int model);

// Stores the page's record of its axis (applied when it changed) and saves the
// model's file: model B to its default file; model A to the default file or,
// when the user says No to that, to a file the user names. FALSE when nothing
// was saved (no Windows folder, no card of the model, the user cancelled, or
// the file could not be written).
BOOL SaveConfigAsked(CSettingsStore& store, int model, int cardId, int axisBit, const AxisConfigRecord& shown);
