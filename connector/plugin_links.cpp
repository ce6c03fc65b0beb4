#include "connector/plugin_links.h"

const PluginEntryPoints kPluginEntryPoints = {TarragonAttach, TarragonSend, fnHookKeyDllSethook};
