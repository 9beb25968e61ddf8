#include "walk/pass.h"

#include "base/error.h"
#include "data/file_descriptions.h"

namespace strnum {

bool openDistrictFile(RunContext& run, int kind, const std::filesystem::path& directory) {
    run.tblPDL.close();
    run.tblPDL.setDirectory(directory);
    run.tblPDL.setTableName(districtTableName(kind));
    run.tblPDL.setTableType(TableType::Dbase);
    try {
        run.tblPDL.open();
    } catch (const Error& e) {
        noticeUnopened(run.host, e);
        return false;
    }
    return true;
}

}  // namespace strnum
