#include "BatchTrees.h"

#include "BatchRun.h"
#include "ErrorReport.h"
#include "ProgramDir.h"
#include "TreeWalk.h"
#include "Wording.h"
#include "saveManager.h"

#include <QCoreApplication>

std::vector<BatchOptions::Source> withTreesWalked(const BatchOptions& options)
{
    std::vector<BatchOptions::Source> sources;
    sources.reserve(options.sources.size());
    // Outputs made inside a tree are never taken for its files.
    TreeWalk::Rules rules {options.included, options.excluded, options.outputDirs};
    rules.passedOver.push_back(defaultOutputFolder());
    if (!options.watchOutputDir.empty())
        rules.passedOver.push_back(options.watchOutputDir);
    for (const BatchOptions::Source& source : options.sources) {
        if (!source.isTree) {
            sources.push_back(source);
            continue;
        }
        // A tree that is its own output folder would be walked for nothing, and run
        // again take its outputs for inputs; one watched as well would be converted twice.
        const std::string output = source.outputDir.empty() ? defaultOutputFolder() : source.outputDir;
        if (sameFolder(output, source.path))
            throw BatchExit {kBadUsage,
                wording::filled(
                    QCoreApplication::translate("BatchTrees",
                        "the output folder %1 is the folder -r takes its files from; give -o another folder "
                        "(one inside it is fine)")
                        .toStdString(),
                    {output})};
        if (!options.watch.empty() && sameFolder(options.watch, source.path))
            throw BatchExit {kBadUsage,
                wording::filled(
                    QCoreApplication::translate("BatchTrees",
                        "%1 is both watched and taken with -r, which would convert each of its files twice; "
                        "--watch alone converts what is there too")
                        .toStdString(),
                    {source.path})};
        TreeWalk::Found found;
        try {
            found = TreeWalk::files(source.path, rules);
        } catch (const std::exception& error) {
            throw BatchExit {kBadUsage, error.what()};
        }
        for (const std::string& folder : found.unreadable)
            reportWarning(wording::filled(
                QCoreApplication::translate("BatchTrees", "cannot read the folder %1; the files in it were passed over")
                    .toStdString(),
                {folder}));
        for (const std::string& folder : found.passedOver)
            reportWarning(wording::filled(QCoreApplication::translate("BatchTrees",
                                              "the folder %1 is an output folder; the files in it were passed over")
                                              .toStdString(),
                {folder}));
        for (TreeWalk::File& file : found.files) {
            BatchOptions::Source item = source;
            item.isTree = false;
            item.path = std::move(file.path);
            item.subfolder = std::move(file.subfolder);
            // A name that cannot be an item fails on its own, as a file named on the command line does.
            if (!isUtf8(item.path))
                item.refused = wording::filled(
                    QCoreApplication::translate("BatchCommandLine", "the name %1 is not valid UTF-8; rename the file")
                        .toStdString(),
                    {item.path});
            sources.push_back(std::move(item));
        }
    }
    return sources;
}

std::string subfolderBelow(const std::string& root, const std::string& path)
{
    std::string base = root;
    if (base.empty() || base.back() != '/')
        base += '/';
    const std::size_t slash = path.rfind('/');
    if (!path.starts_with(base) || slash == std::string::npos || slash < base.size())
        return {};
    return path.substr(base.size(), slash - base.size());
}
