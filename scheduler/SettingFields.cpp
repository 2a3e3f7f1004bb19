#include "SettingFields.h"

#include "settings/BackupSettings.h"

namespace vesperkeep {

void LoadSettingFields(TScheduleWindow& window, TClock& clock) {
    const TBackupSettings settings =
        LoadBackupSettings(std::string(SettingsFileName), clock.Today());
    window.SetFieldText(TField::Edit1, settings.BackupTime);
    window.SetFieldText(TField::Edit2, settings.ShutdownTime);
    window.SetFieldText(TField::Edit3, settings.BackupSource);
    window.SetFieldText(TField::Edit4, settings.BackupFolder + settings.ArchiveStamp);
    window.SetFieldText(TField::Edit5, settings.NotShutdownAfterTime);
    window.SetFieldText(TField::Edit6, settings.ShutdownDatabaseCommand);
}

} // namespace vesperkeep
