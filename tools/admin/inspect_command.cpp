// qor-admin inspect: what each file is, read without any secret.
#include <qor/inspect/describe_file.h>

#include "admin.h"
#include "file_source.h"

namespace qor::admin {

int Inspect(const Args& args) {
    std::string problem = CheckArgs(args, {}, {}, true);
    if (problem.empty() && args.files.empty()) problem = "inspect needs at least one file";
    if (!problem.empty()) return Fail(kExitUsage, problem + " (try qor-admin --help)");
    int result = kExitOk;
    for (const std::string& path : args.files) {
        FileSource source(path);
        if (!source.IsOpen()) {
            result = Fail(kExitFileProblem, "cannot read " + path);
            continue;
        }
        const inspect::FileDescription d = inspect::DescribeFile(source, path);
        for (const std::string& line : inspect::FormatDescription(d))
            Say(line);
        if (d.damaged()) result = kExitFileProblem;
    }
    return result;
}

}  // namespace qor::admin
