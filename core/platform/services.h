#pragma once

namespace kivo {

class IMessages;
class IProfile;
class IFileSystem;
class IClock;
class IProcessRunner;
class IResources;
class ITextMerger;
class CKivoDoc;

// Asks the user for a file name and saves the project there (the shell's
// Save command for a project without a file).
class IDocumentSaver
{
public:
    virtual ~IDocumentSaver() = default;
    virtual void SaveDocument(CKivoDoc &doc) = 0;
};

// What the core asks of its host, handed to every operation that needs it.
struct Services {
    IMessages &messages;
    IProfile &profile;
    IFileSystem &files;
    IClock &clock;
    IProcessRunner &processes;
    IResources &resources;
    IDocumentSaver *saver = nullptr;
    // Carries the user's edits of generated files into new output; without
    // one an edited file is left alone and the new output written beside it.
    ITextMerger *merger = nullptr;
};

} // namespace kivo
