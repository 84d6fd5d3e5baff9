// The selection walk in both directions and the single-file decryption driver.
#include <qor/engine/selection_walk.h>
#include <qor/platform/files.h>
#include <qor/profile/user_profile.h>
#include <qor/ui/dialog_host.h>

#include <memory>
#include <vector>

namespace qor::engine {

namespace {

using platform::kSeparator;

constexpr char kCaption[] = "QOR Vaultis";
// FILE_ATTRIBUTE_REPARSE_POINT: links and junctions on Windows.
constexpr uint32_t kAttrReparsePoint = 0x400;

constexpr char kLocalNotice[] =
    "Files with the .!!* extenstions will not be decrypted. To decrypt these files, please chose "
    "Decrypt menu item directly under the QOR menu.";
constexpr char kShareNotice[] =
    "Files with the .s!* extenstions will not be decrypted. To decrypt these files, please chose "
    "\"Decrypt\" under the File Sharing menu item.";

int Show(void* owner, const std::string& text, ui::MessageButtons buttons,
         ui::MessageIcon icon = ui::MessageIcon::kNone) {
    return ui::CurrentHost().ShowMessage(owner, text, kCaption, buttons, icon);
}

// A link is reported as a system entry and never as a folder, so that no walk follows it out of
// the selected tree; on Linux the platform already reports links (and devices, pipes) that way.
uint32_t WalkAttributes(uint32_t attributes) {
    if ((attributes & kAttrReparsePoint) != 0) {
        attributes = (attributes | platform::kAttrSystem) & ~uint32_t{platform::kAttrDirectory};
    }
    return attributes;
}

// Entries that are not plain files: opening them would follow a link or block on a device.
bool IsLinkOrDevice(uint32_t rawAttributes) {
#ifdef _WIN32
    return (rawAttributes & kAttrReparsePoint) != 0;
#else
    return (rawAttributes & platform::kAttrSystem) != 0;
#endif
}

bool IsRealFolder(uint32_t rawAttributes) {
    return rawAttributes != platform::kInvalidAttributes &&
           (rawAttributes & platform::kAttrDirectory) != 0 && !IsLinkOrDevice(rawAttributes);
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The folder's text followed by the separator begins the path, without regard to case.
bool IsInsideFolder(const std::string& path, std::string folder) {
    while (!folder.empty() && folder.back() == kSeparator)
        folder.pop_back();
    // An unknown folder contains nothing; "" would otherwise match every absolute path.
    if (folder.empty()) return false;
    folder += kSeparator;
    if (path.size() < folder.size()) return false;
    for (size_t i = 0; i < folder.size(); ++i) {
        if (Lower(path[i]) != Lower(folder[i])) return false;
    }
    return true;
}

// Another program holding the file open would make the engine fail half-way.
bool InUse(const std::string& path) {
    platform::File probe = platform::File::Open(path, platform::kAccessRead, platform::kShareNone,
                                                platform::kOpenExisting);
    return !probe.IsOpen();
}

// The progress hook pumps the dialog; a non-zero answer means its Cancel was pressed.
bool HookAsksToStop(FileJob& job) {
    return job.progress != nullptr && job.progress->callback != nullptr &&
           job.progress->callback(job.progress->argument) != 0;
}

// The folder a "folder\*.*" item names, without the trailing separator, for asking its kind.
std::string FolderItself(const std::string& folder) {
    if (folder.empty()) return ".";
    std::string self = folder;
    if (self.size() > 1 && self.back() == kSeparator && self[self.size() - 2] != ':') {
        self.pop_back();
    }
    return self;
}

}  // namespace

int& SingleFileContinueFlag() {
    static int flag = 1;
    return flag;
}

SelectionWalker::SelectionWalker(WalkDisplay& display, int reserved, FileWorker& worker)
    : display_(display), worker_(worker) {
    (void)reserved;
    SingleFileContinueFlag() = 1;
}

int SelectionWalker::EncryptItem(const std::string& item, CryptOptions& options, int width,
                                 ProgressHook* hook, int quiet) {
    FileJob job{quiet, hook, display_.Owner(), &options};
    if (cancelled_ != 0 || RunCancelled(job)) return 0;
    if (platform::IsInsideSystemFolder(item)) return 0;
    Walk(item, job, width, WalkMode::kEncrypt);
    return 0;
}

int SelectionWalker::DecryptItem(const std::string& item, CryptOptions& options, int width,
                                 ProgressHook* hook) {
    FileJob job{0, hook, display_.Owner(), &options};
    if (cancelled_ != 0 || RunCancelled(job)) return 0;
    Walk(item, job, width, WalkMode::kDecrypt);
    return 0;
}

void SelectionWalker::Walk(const std::string& itemPath, FileJob& job, int width, WalkMode mode) {
    job_ = &job;
    width_ = width;
    const std::string path = ReduceDoubledSeparators(itemPath);
    display_.SetStatusText("Searching...");

    // The searches of the enclosing folders, innermost last.
    std::vector<std::unique_ptr<platform::Finder>> stack;
    stack.reserve(static_cast<size_t>(depthLimit_ > 0 ? depthLimit_ : 0));

    std::string folder = path;
    bool wildcard = false;
    if (!path.empty() && path.back() == '*') {
        const size_t separator = path.rfind(kSeparator);
        folder = separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
        wildcard = true;
        // A selected link to a folder would lead the walk out of the selected tree.
        if (!IsRealFolder(platform::GetAttributes(FolderItself(folder)))) return;
    }

    auto search = std::make_unique<platform::Finder>();
    platform::FindData data;
    std::string current = path;
    if (!search->First(path, &data)) {
        if (mode == WalkMode::kEncrypt || wildcard) return;
        // The plain name of a file selected for decryption stands for its encrypted form.
        const std::string counterpart = EncryptedCounterpart(path);
        if (counterpart.empty() || !search->First(counterpart, &data)) return;
        current = counterpart;
    }

    int depth = 0;
    bool firstEntry = true;
    for (;;) {
        const bool stopAsked = HookAsksToStop(job);
        bool done = false;
        if (!firstEntry) {
            while (!search->Next(&data)) {
                if (depth == 0) {
                    done = true;
                    break;
                }
                --depth;
                folder.pop_back();
                folder.erase(folder.rfind(kSeparator) + 1);
                search = std::move(stack.back());
                stack.pop_back();
            }
        }
        firstEntry = false;
        if (done || stopAsked || cancelled_ != 0 || RunCancelled(job)) break;
        if (data.name == "." || data.name == "..") continue;

        const uint32_t attributes = WalkAttributes(data.attributes);
        const std::string name = data.name;
        if ((attributes & platform::kAttrDirectory) != 0) {
            // Only a folder item is expanded; a folder named without "*.*" is no selection.
            if (!wildcard) continue;
            // The limits of the depth stack and of a path (with "\*.*" and its terminator).
            if (depth >= depthLimit_ || folder.size() + name.size() + 5 > platform::kMaxPath) {
                RefuseTooDeep(folder + name, mode);
                continue;
            }
            auto inner = std::make_unique<platform::Finder>();
            if (!inner->First(folder + name + kSeparator + "*.*", &data)) break;
            stack.push_back(std::move(search));
            search = std::move(inner);
            folder += name + kSeparator;
            ++depth;
            firstEntry = true;
            continue;
        }

        const std::string filePath = wildcard ? folder + name : current;
        if (IsOwnProductFile(name)) continue;
        if (mode == WalkMode::kEncrypt) {
            data.attributes = attributes;
            EncryptFound(filePath, data);
        } else {
            DecryptFound(filePath, name, data.attributes);
        }
    }
    worker_.Settle();
    job_ = nullptr;
}

void SelectionWalker::EncryptFound(const std::string& path, const platform::FindData& found) {
    FileJob& job = *job_;
    const std::string& name = found.name;
    const uint32_t attributes = found.attributes;
    const bool quiet = job.quiet != 0;
    if (platform::IsInsideSystemFolder(path) ||
        IsInsideFolder(path, profile::Profile().HomeFolder())) {
        return;
    }
    if ((attributes & platform::kAttrHidden) != 0) {
        if (!quiet) Refuse("Cannot encrypt \"" + path + "\": hidden file.");
        return;
    }
    if ((attributes & platform::kAttrSystem) != 0) {
        if (!quiet) Refuse("Cannot encrypt \"" + path + "\": system file.");
        return;
    }
    if (IsAlreadyEncrypted(name) || IsExcludedType(name)) return;
    if ((attributes & platform::kAttrReadOnly) != 0) {
        if (!quiet) Refuse("Cannot encrypt \"" + path + "\": Read only file.");
        return;
    }

    display_.SetStatusText(ShortenPath(path, width_));
    // A self-extracting program, its proposed name and the name stored in it follow the file's
    // 8.3 alias where it has one.
    std::string engineSource = path;
    if (job.options->selfExtracting != 0 && !found.shortName.empty())
        engineSource = path.substr(0, path.rfind(kSeparator) + 1) + found.shortName;
    const int status = EncryptOne(path, engineSource);
    if (quiet) return;
    if (status == kEngineInUse) {
        Show(job.parent, path + " already opened by another application.", ui::MessageButtons::kOk,
             ui::MessageIcon::kExclamation);
    } else if (status == kEngineNoOutputName) {
        Refuse(path + " cannot be encrypted.  " + "Too many files with the same filename.");
    }
}

void SelectionWalker::DecryptFound(const std::string& path, const std::string& name,
                                   uint32_t rawAttributes) {
    FileJob& job = *job_;
    CryptOptions& options = *job.options;
    if (options.mode == kModeFileShare) {
        if (!IsFileShareEncrypted(name)) {
            if (IsLocalEncrypted(name) && options.noticeShown == 0) {
                Show(job.parent, kLocalNotice, ui::MessageButtons::kOk);
                options.noticeShown = 1;
            }
            return;
        }
    } else if (options.mode == kModeLocal) {
        if (!IsLocalEncrypted(name)) {
            if (IsFileShareEncrypted(name) && options.noticeShown == 0) {
                Show(job.parent, kShareNotice, ui::MessageButtons::kOk);
                options.noticeShown = 1;
            }
            return;
        }
    } else {
        Show(job.parent, "Error during decryption.", ui::MessageButtons::kOk);
        CancelWalk();
        return;
    }
    if (IsLinkOrDevice(rawAttributes)) return;
    if ((rawAttributes & platform::kAttrReadOnly) != 0) {
        Refuse("Cannot decrypt " + path + ": Read only file.");
        return;
    }

    display_.SetStatusText(ShortenPath(path, width_));
    if (DecryptOne(path) == kEngineInUse) {
        Show(job.parent, path + " already opened by another application.", ui::MessageButtons::kOk,
             ui::MessageIcon::kExclamation);
    }
}

void SelectionWalker::RefuseTooDeep(const std::string& folder, WalkMode mode) {
    if (mode == WalkMode::kEncrypt) {
        if (job_->quiet == 0) Refuse("Cannot encrypt \"" + folder + "\": Path too deep.");
    } else {
        Refuse("Cannot decrypt \"" + folder + "\": Path too deep.");
    }
}

int SelectionWalker::EncryptOne(const std::string& source, const std::string& engineSource) {
    FileJob& job = *job_;
    std::string output;
    if (job.options->selfExtracting != 0) {
        if (worker_.SelfExtractingName(engineSource, &output) != 0 &&
            worker_.ChooseAnotherName(job, engineSource, &output) == 0) {
            return kStatusCancelled;
        }
    } else if (MakeOutputName(job, source, &output) != 0) {
        return kEngineNoOutputName;
    }
    if (InUse(source)) return kEngineInUse;
    return worker_.Encrypt(job, engineSource, output);
}

int SelectionWalker::DecryptOne(const std::string& source) {
    if (InUse(source)) return kEngineInUse;
    std::string decrypted;
    return worker_.Decrypt(*job_, source, &decrypted);
}

void SelectionWalker::Refuse(const std::string& text) {
    if (Show(job_->parent, text, ui::MessageButtons::kOkCancel) == ui::kIdCancel) CancelWalk();
}

void SelectionWalker::CancelWalk() {
    display_.Close();
    cancelled_ = 1;
}

int DecryptSingleFile(const std::string& path, std::string* decrypted, int width, uint16_t mode,
                      const char* password, uint32_t passwordLength, WalkDisplay& display,
                      ProgressHook* hook, FileWorker& worker) {
    auto refuse = [&](const std::string& text) {
        if (Show(display.Owner(), text, ui::MessageButtons::kOkCancel) == ui::kIdCancel) {
            display.Close();
            SingleFileContinueFlag() = 0;
        }
    };
    if (path.size() >= platform::kMaxPath + 1) {
        refuse("Cannot decrypt \"" + path + "\": Path too deep.");
        return -1;
    }
    const std::string clean = ReduceDoubledSeparators(path);
    CryptOptions options;
    options.mode = mode;
    options.noEmergency = 0;
    options.removeSource = 1;
    options.selfExtracting = 0;
    options.password = password;
    options.passwordLength = passwordLength;
    FileJob job{0, hook, display.Owner(), &options};
    if (SingleFileContinueFlag() != 1 || RunCancelled(job)) return -1;

    platform::Finder finder;
    platform::FindData data;
    if (!finder.First(clean, &data) || IsOwnProductFile(data.name)) return -1;
    // A folder is nothing to decrypt.
    if ((data.attributes & platform::kAttrDirectory) != 0) return -1;
    std::string file = clean;
    if (clean.find('*') != std::string::npos) {
        const size_t separator = clean.rfind(kSeparator);
        file = (separator == std::string::npos ? std::string() : clean.substr(0, separator + 1)) +
               data.name;
    }
    if ((data.attributes & platform::kAttrReadOnly) != 0) {
        refuse("Cannot decrypt \"" + file + "\": Read only file.");
        return -1;
    }

    display.SetStatusText(ShortenPath(file, width));
    if (InUse(file)) return kEngineInUse;
    std::string result;
    const int status = worker.Decrypt(job, file, &result);
    worker.Settle();
    if (decrypted != nullptr) *decrypted = result;
    return status;
}

}  // namespace qor::engine
