#include "gui/ProductGuard.h"

#include "core/Unit1Probes.h"
#include "core/srunner.h"
#include "gui/MessDlgs.h"
#include "gui/Unit1.h"

bool IsGuardedProductRunning(TForm1& form, RunningGuard guard) {
    switch (guard) {
        case RunningGuard::Editor:
        case RunningGuard::EditorListener:
            return IsEditorRunning(form.services().desktop);
        case RunningGuard::Server:
            form.ServerRunner->Refresh();
            return form.ServerRunner->Running;
        case RunningGuard::None:
            break;
    }
    return false;
}

bool RefuseWhileProductRuns(TForm1& form, const std::string& path) {
    const RunningGuard guard = GuardFor(FindComponentMarker(path));
    if (!IsGuardedProductRunning(form, guard)) return false;
    MessageDialog(RunningNotice(guard), mtInformation, mbOK, 0, kEnglish);
    return true;
}
