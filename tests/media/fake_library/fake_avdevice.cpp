// Exports avdevice_version but not avdevice_register_all.
extern "C" unsigned avdevice_version() { return 0; }
