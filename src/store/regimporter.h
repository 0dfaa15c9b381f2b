#pragma once
// Reads registry files (REGEDIT4 and version 5.00) into the settings store, as one transaction:
// a file with any invalid line changes nothing. Only keys under the program's own settings key are
// written; others are skipped and counted, so a foreign file cannot reach beyond the program.
#include <QByteArray>
#include <QString>

namespace orvalis {

class RegImporter {
public:
    struct Summary {
        int keys = 0;          // key lines written (created or opened)
        int values = 0;        // values written
        int deletedKeys = 0;   // [-key] lines inside the settings key
        int deletedValues = 0; // "name"=- lines
        int skippedKeys = 0;   // key lines outside the settings key, with their values
    };

    // Admits the export of the deepest tree the store holds (512 levels of 255-character names,
    // about 32 MiB). The file is read in pieces and only the line at hand is kept, decoded; a string
    // value is stored from that line itself, so even a file of one value needs less than three times
    // its size.
    static constexpr qint64 maxFileSize = 64 * 1024 * 1024;
    // "64 MiB", for messages.
    static QString sizeLimitText();

    // "HKEY_CURRENT_USER\Software\Vantrel\Orvalis": nothing outside it is written.
    static QString acceptedKey();

    // Throws OrvalisError naming the file, the line number and what is wrong; the store is then
    // unchanged. A file whose keys all lie outside acceptedKey() is refused too, with their count.
    static Summary importFile(const QString &fileName);
    // The same for bytes already read; `sourceName` stands for the file in messages.
    static Summary importData(const QByteArray &data, const QString &sourceName);
};

} // namespace orvalis
