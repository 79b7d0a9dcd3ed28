#include "app/EditorWindows.h"

#include "listedit/AboutBox.h"
#include "listedit/Form2.h"
#include "platform/ui/ErrorReport.h"

FormMainWindows ProgramWindows()
{
    FormMainWindows windows;
    windows.RunListEditor = [](TFormMain &owner) {
        const Platform &platform = owner.GetPlatform();
        TForm2 editor(owner, *platform.dialogs, *platform.browser, &owner);
        editor.ShowModal();
    };
    windows.RunAboutBox = [](TFormMain &owner) {
        const Platform &platform = owner.GetPlatform();
        TAboutBox box(*platform.browser, &owner, UserGuideUrl(), GeneralErrorReport(*platform.dialogs, &owner));
        box.exec();
    };
    return windows;
}
