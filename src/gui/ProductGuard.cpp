#include "gui/ProductGuard.h"

#include "core/Unit1Probes.h"
#include "core/srunner.h"
#include "gui/MessDlgs.h"
#include "gui/Unit1.h"

bool IsGuardedProductRunning(platform::Desktop& desktop, TServerRunner& server,
                             RunningGuard guard) {
    switch (guard) {
        case RunningGuard::Editor:
        case RunningGuard::EditorListener:
            return IsEditorRunning(desktop);
        case RunningGuard::Server:
            server.Refresh();
            return server.Running;
        case RunningGuard::None:
            break;
    }
    return false;
}

bool IsGuardedProductRunning(TForm1& form, RunningGuard guard) {
    return IsGuardedProductRunning(form.services().desktop, *form.ServerRunner, guard);
}

bool RefuseWhileProductRuns(platform::Desktop& desktop, TServerRunner& server,
                            const std::string& path) {
    const RunningGuard guard = GuardFor(FindComponentMarker(path));
    if (!IsGuardedProductRunning(desktop, server, guard)) return false;
    MessageDialog(RunningNotice(guard), mtInformation, mbOK, 0, kEnglish);
    return true;
}

bool RefuseWhileProductRuns(TForm1& form, const std::string& path) {
    return RefuseWhileProductRuns(form.services().desktop, *form.ServerRunner, path);
}
