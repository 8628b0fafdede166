#pragma once

#include "common/Result.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vorteq::cli {

// The files of one run written into a folder as a set: a run interrupted at any moment (killed,
// power cut) leaves either the complete old set or the complete new set, never a mix, once the
// next run has started.
//
// Each file is written and flushed beside its final name ("NAME.vorteq-new"); then a list of the
// names (".vorteq-set") is written and flushed, which is the moment the new set counts as written;
// then the files take their final names and the list is removed. A run that finds a list finishes
// those renames first; one that finds no list removes the leftovers of a set never completed.
class ExportSet {
public:
    explicit ExportSet(std::filesystem::path dir) : m_dir(std::move(dir)) {}

    // One file of the set, by its name in the folder, with its bytes.
    void add(std::string fileName, std::string bytes)
    {
        m_files.emplace_back(std::move(fileName), std::move(bytes));
    }

    // Writes the set as above, creating the folder when it is missing. An error leaves the old set
    // and no file of the new one.
    Status commit();

private:
    std::filesystem::path m_dir;
    std::vector<std::pair<std::string, std::string>> m_files;
};

// Completes or removes what an interrupted ExportSet::commit left in dir (see above). A folder
// that does not exist has nothing to recover.
Status recoverExportSet(const std::filesystem::path& dir);

} // namespace vorteq::cli
