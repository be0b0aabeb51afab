// What a VST3 host reads from the module before it makes an instance: the factory and its
// three classes. Read straight through the module's entry points, as a host's scanner does.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <pluginterfaces/base/ipluginbase.h>

namespace
{
using namespace Steinberg;

const TUID factory2Iid = INLINE_UID (0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);

class LoadedModule
{
public:
    LoadedModule()
    {
        handle = dlopen (VELLOMIRE_BUNDLE_PATH "/Contents/x86_64-linux/VELLOMIRE.so", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return;
        auto entry = (bool (*) (void*)) dlsym (handle, "ModuleEntry");
        auto getFactory = (IPluginFactory * (*) ()) dlsym (handle, "GetPluginFactory");
        entered = entry != nullptr && entry (handle);
        if (entered && getFactory != nullptr)
            factory = getFactory();
    }

    ~LoadedModule()
    {
        if (factory != nullptr)
            factory->release();
        if (entered)
            if (auto exit = (bool (*)()) dlsym (handle, "ModuleExit"))
                exit();
        if (handle != nullptr)
            dlclose (handle);
    }

    void* handle = nullptr;
    bool entered = false;
    IPluginFactory* factory = nullptr;
};
} // namespace

TEST (Vst3Factory, FactoryInformation)
{
    LoadedModule module;
    ASSERT_NE (module.handle, nullptr) << dlerror();
    ASSERT_NE (module.factory, nullptr);

    PFactoryInfo info {};
    ASSERT_EQ (module.factory->getFactoryInfo (&info), kResultOk);
    EXPECT_STREQ (info.vendor, "Kubro");
    EXPECT_STREQ (info.url, "");
    EXPECT_STREQ (info.email, "");
    EXPECT_EQ (info.flags, 16);
}

TEST (Vst3Factory, ThreeClassesWithIdentity)
{
    LoadedModule module;
    ASSERT_NE (module.factory, nullptr);
    IPluginFactory2* factory2 = nullptr;
    ASSERT_EQ (module.factory->queryInterface (factory2Iid, (void**) &factory2), kResultOk);
    ASSERT_NE (factory2, nullptr);
    ASSERT_EQ (factory2->countClasses(), 3);

    const std::pair<const char*, const char*> expected[] = { { "Audio Module Class", "Fx" },
                                                             { "Component Controller Class", "Fx" },
                                                             { "Plugin Compatibility Class", "" } };
    for (int32 index = 0; index < 3; ++index)
    {
        PClassInfo2 info {};
        ASSERT_EQ (factory2->getClassInfo2 (index, &info), kResultOk);
        EXPECT_STREQ (info.category, expected[index].first);
        EXPECT_STREQ (info.subCategories, expected[index].second);
        EXPECT_STREQ (info.name, "VELLOMIRE");
        EXPECT_STREQ (info.vendor, "Kubro");
        EXPECT_STREQ (info.version, "1.5.1");
        EXPECT_STREQ (info.sdkVersion, "VST 3.7.12");
        EXPECT_EQ (info.classFlags, 0u);
        EXPECT_EQ (info.cardinality, (int32) PClassInfo::kManyInstances);
    }
    factory2->release();
}

TEST (Vst3Factory, ModuleExportsOnlyTheEntryPoints)
{
    LoadedModule module;
    ASSERT_NE (module.handle, nullptr);
    for (const char* hidden : { "createPluginFilter", "_ZN23VellomireAudioProcessorC1Ev" })
        EXPECT_EQ (dlsym (module.handle, hidden), nullptr) << hidden;
}
