#include "addin/addin_language.h"

#include <optional>

#include "com/com_error.h"
#include "log/log_file.h"
#include "log/log_result.h"
#include "outlook/outlook.h"

UiLanguage ChooseAddinLanguage(IDispatch* application) noexcept
{
    std::optional<LANGID> office;
    try {
        office = Outlook::UiLanguageId(application);
    } catch (...) {
        (void)LogResult("Connect<LanguageSettings>", CaughtExceptionResult());
    }
    const UiLanguage language = ChooseUiLanguage(office);
    SetUiLanguage(language);
    return language;
}
