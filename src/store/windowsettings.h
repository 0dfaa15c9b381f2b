#pragma once
// The main window's settings as stored below the settings key: placement, splitters, tool-bar bands,
// display ranges, the selected microscope, the use count and the view choices. Every value is
// optional: a value that is absent here is neither applied at start nor written at close.
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace orvalis {

// One band of the tool-bar row, stored as "Control<i>", "Control Width<i>", "Break<i>", "Width<i>".
struct CoolBand {
    std::optional<QString> Control;  // objectName of the tool bar in this band
    std::optional<int> ControlWidth; // px
    std::optional<bool> Break;       // the band starts a new row
    std::optional<int> Width;        // px
};

struct WindowSettings {
    // "Default"
    std::optional<QString> SaveDir; // folder with its trailing separator, or empty
    std::optional<QString> ScopeManuf;
    std::optional<QString> ScopeModel;
    std::optional<double> UpTo; // nm^-1
    std::optional<double> dvv;  // fraction; written for other readers, never read back
    std::optional<double> dii;  // fraction; written for other readers, never read back
    std::optional<bool> Monochrome;
    std::optional<int> Underfocus; // nm, maximum of the defocus slider
    std::optional<int> Overfocus;  // nm, minimum of the defocus slider
    std::optional<int> a2max;      // nm
    std::optional<int> a3max;      // nm
    std::optional<int> Uses;
    // The specimen and the detector (Setup > Specimen and Detector) and the defocus step, in the units
    // the user types them in. Each is written only while it differs from its default, and removed
    // from the store once it is back there: a store without them is exactly the one of before.
    std::optional<double> AmplitudeContrast; // "Amplitude Contrast", fraction Q
    std::optional<double> PhaseShift;        // "Phase Shift", degrees
    std::optional<double> BFactor;           // "B-Factor", Å²
    std::optional<double> PixelSize;         // "Pixel Size", Å at the specimen
    std::optional<bool> FineDefocus;         // "Fine Defocus": defocus steps of 0.1 nm
    // The conventions of corrected instruments, each written only while not the default (0):
    std::optional<int> A3Convention;   // "A3 Convention": 1, the field takes the corrector's coefficient
    std::optional<int> ResolutionUnit; // "Resolution Unit": 1 nm with three decimals, 2 pm

    // "Position"; the bounds are px in screen coordinates
    std::optional<int> WindowState; // 0 normal, 1 minimised, 2 maximised
    std::optional<int> Top, Left, Width, Height;
    std::optional<int> Splitter[5]; // "Splitter1".."Splitter5", px

    // "CoolBar", by band index; read only when "Position" exists
    QMap<int, CoolBand> Bands;

    // "ButtonBar", each 0/1 (on only when exactly 1)
    std::optional<bool> Show2d, Update2D, Combined, Spatial, Temporal, Show3D, Envelopes, Intensity, Symmetr;
    std::optional<bool> PlotMode, Toolbar, Headers;
    // "RELION Sign" (the chart and its tables show -CTF) and "Sampled 2D" (the pattern as the
    // detector records it): like the specimen's values, written only while on.
    std::optional<bool> RelionSign, Sampled2D;

    // Values present but unreadable when read (the registry's error texts, one per value): each is
    // left absent, so the window keeps its default for it.
    QStringList Problems;
    // The same values by sub-key ("Default", ...) and name. Handed back to the writer, each is
    // replaced by what the window writes now, or removed when it writes nothing for it (its default
    // then holds): a bad value is reported at one start, not at every start.
    QMap<QString, QStringList> Unreadable;
};

// Reads what is stored; keys are opened, never created. Never throws for a bad value: that value
// is left absent and named in Problems. Throws only when the store itself cannot be used.
WindowSettings ReadWindowSettings();

// Brings every stored number the window takes over as it stands into the range the program accepts
// for it where the user sets it: "UpTo" into 0 .. MaxUpTo (one that is no positive number becomes 10),
// the defocus slider's ends into -MaxDefocus .. MaxDefocus, the astigmatism maxima into
// 0 .. MaxAstigmatism, the use count to 0 or more; a specimen value its rule refuses becomes 0 (none),
// and fine defocus goes off with a defocus range beyond MaxFineDefocus.
// Returns one line per value changed: "'UpTo' (1000000000): 1000 is used".
QStringList FitToAcceptedRanges(WindowSettings &settings);

// Writes the present values in four groups, "Default", "Position", "CoolBar" and "ButtonBar" in
// this order, each group in one transaction, creating the keys, and removes the values named in
// Unreadable that it does not write. A key that can be neither opened
// nor created stops the save with "Cannot access registry"; the groups written before it stay.
void WriteWindowSettings(const WindowSettings &settings);

} // namespace orvalis
