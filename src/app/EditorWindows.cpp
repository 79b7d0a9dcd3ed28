#include "app/EditorWindows.h"

#include "listedit/AboutBox.h"
#include "listedit/Form2.h"

FormMainWindows ProgramWindows()
{
    FormMainWindows windows;
    windows.RunListEditor = [](TFormMain &owner) {
        const Platform &platform = owner.GetPlatform();
        TForm2 editor(owner, *platform.dialogs, *platform.browser, &owner);
        editor.ShowModal();
    };
    windows.RunAboutBox = [](TFormMain &owner) {
        TAboutBox box(*owner.GetPlatform().browser, &owner);
        box.exec();
    };
    return windows;
}
