#include "profile/ConfigOptions.h"

#include "platform/ConfigFile.h"

namespace profile {

void ReadOptionsFromConfigFile(platform::IFileSystem& AFiles, platform::IEnvironment& AEnvironment,
                               TOptionsFromConfigFile& AOptions) {
  const rtl::TIniFile Ini = platform::LoadConfigFile(AFiles, AEnvironment);
  // The prefix goes in front of whatever is read, the default included: the configuration
  // program finds its key the same way.
  AOptions.ProfileRegFolder =
      std::string(cRegistryFolderPrefix) +
      Ini.ReadString("options", "ProfileRegFolder", cDefaultProfileRegFolder);
  AOptions.ProfileFolder = Ini.ReadString("options", "profileFolder", cDefaultProfileFolder);
  AOptions.ProfileNamePrefix =
      Ini.ReadString("options", "profilePrefix", cDefaultProfileNamePrefix);
  AOptions.ProfileMacroFolder =
      Ini.ReadString("options", "profileMacroFolder", cDefaultProfileMacroFolder);
}

void ReadOtherConfig(platform::IFileSystem& AFiles, platform::IEnvironment& AEnvironment,
                     TOtherConfig& AOtherConfig) {
  const rtl::TIniFile Ini = platform::LoadConfigFile(AFiles, AEnvironment);
  // The lock-state options are not kept in the file.
  AOtherConfig.ShowNumLock = 0;
  AOtherConfig.ShowCapsLock = 0;
  AOtherConfig.ShowScrollLock = 0;
  AOtherConfig.ShowLockStatePop = 0;
  AOtherConfig.Nologo = Ini.ReadInteger("OtherConfig", "NoLogo", 0);
  AOtherConfig.HelpFile.Clear();
  for (const std::string& Name : Ini.ReadSection("HelpFiles")) {
    AOtherConfig.HelpFile.SetValue(Name, Ini.ReadString("HelpFiles", Name, ""));
  }
  AOtherConfig.PASSWHQL = Ini.ReadInteger("DEVICE", "WHQL", 0);
  AOtherConfig.ProductWebSite = Ini.ReadString("Websites", "ProductWebSite", "");
  AOtherConfig.SupportWebSite = Ini.ReadString("Websites", "SupportWebSite", "");
  AOtherConfig.UpgradeWebSite = Ini.ReadString("Websites", "UpgradeWebSite", "");
  AOtherConfig.OfficialWebsite =
      Ini.ReadString("OtherConfig", "OfficialWebsite", cDefaultOfficialWebsite);
}

} // namespace profile
