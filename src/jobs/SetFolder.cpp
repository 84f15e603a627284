#include "jobs/SetFolder.h"

#include <vector>

#include "jobs/OutputFiles.h"
#include "soundfile/FileServices.h"

namespace {

[[noreturn]] void Fail(const std::string& what, Status status) {
    throw QuillException(kQUILException, what + ": " + FileStatusText(status));
}

// A new, empty folder of the job's own in `parent`.
std::string MakeBuildingFolder(const std::string& parent) {
    if (std::string problem = FolderProblem(parent); !problem.empty())
        throw QuillException(kQUILException, "cannot write into the folder '" +
                                                 (parent.empty() ? "." : parent) + "': " + problem);
    Status status = kErrDuplicateFile;
    std::string folder;
    for (int attempt = 0; attempt < 16 && status == kErrDuplicateFile; ++attempt) {
        folder = JoinPath(parent, TemporaryLeafName());
        status = CurrentFileServices().CreateDirectory(folder);
    }
    if (status != kNoErr) Fail("could not create the folder '" + folder + "'", status);
    return folder;
}

} // namespace

SetFolder::SetFolder(std::string directory, Belongs belongs, std::string writer, Log log)
    : directory(std::move(directory)), belongs(std::move(belongs)), writer(std::move(writer)),
      log(std::move(log)) {}

SetFolder::~SetFolder() {
    if (building.empty()) return;
    if (Status status = RemoveFolderOfFiles(building); status != kNoErr)
        log(kQUILException,
            "could not remove the unfinished folder '" + building + "': " + FileStatusText(status));
}

QuillException SetFolder::Foreign(const std::string& path) const {
    return QuillException(kQUILException, "'" + path + "' holds files that " + writer +
                                              " did not write; choose another folder");
}

const std::string& SetFolder::begin() {
    if (!holdsOnlyOwnFiles(directory)) throw Foreign(directory);
    building = MakeBuildingFolder(FolderOf(directory));
    return building;
}

void SetFolder::finish() {
    FileServices& files = CurrentFileServices();
    EntryKind there = EntryKind::none;
    if (Status status = files.Kind(directory, false, &there); status != kNoErr)
        Fail("cannot look at '" + directory + "'", status);
    if (there == EntryKind::none) {
        if (Status status = files.Rename(building, directory); status != kNoErr)
            Fail("could not move the finished files from '" + building + "' to '" + directory + "'",
                 status);
        building.clear();
        return;
    }
    // The earlier set steps aside, the new one takes its place, then the earlier one goes;
    // when the new one cannot be put in place, the earlier one comes back.
    if (!holdsOnlyOwnFiles(directory)) throw Foreign(directory);
    const std::string earlier = JoinPath(FolderOf(directory), TemporaryLeafName());
    if (Status status = files.Rename(directory, earlier); status != kNoErr)
        Fail("could not move the earlier files in '" + directory + "' aside", status);
    if (Status status = files.Rename(building, directory); status != kNoErr) {
        const std::string reason = FileStatusText(status);
        if (Status back = files.Rename(earlier, directory); back != kNoErr)
            throw QuillException(kQUILException, "could not move the finished files to '" +
                                                     directory + "': " + reason +
                                                     "; the earlier files are kept in '" + earlier +
                                                     "': " + FileStatusText(back));
        throw QuillException(kQUILException,
                             "could not move the finished files to '" + directory + "': " + reason);
    }
    building.clear();
    // The new set is in place: a failure from here on leaves only the earlier files behind.
    if (Status status = RemoveFolderOfFiles(earlier); status != kNoErr)
        log(kQUILException, "could not remove the earlier files, kept in '" + earlier +
                                "': " + FileStatusText(status));
}

bool SetFolder::holdsOnlyOwnFiles(const std::string& path) const {
    FileServices& files = CurrentFileServices();
    EntryKind kind = EntryKind::none;
    if (files.Kind(path, false, &kind) != kNoErr) return false;
    if (kind == EntryKind::none) return true;
    std::vector<std::string> names;
    if (kind != EntryKind::folder || files.List(path, &names) != kNoErr) return false;
    for (const auto& name : names) {
        if (files.Kind(JoinPath(path, name), false, &kind) != kNoErr || kind != EntryKind::file ||
            !belongs(name))
            return false;
    }
    return true;
}

bool SetFolder::removeOwnFolder(const std::string& path) const {
    if (!holdsOnlyOwnFiles(path)) return false;
    EntryKind kind = EntryKind::none;
    if (CurrentFileServices().Kind(path, false, &kind) != kNoErr) return false;
    return kind == EntryKind::none || RemoveFolderOfFiles(path) == kNoErr;
}
