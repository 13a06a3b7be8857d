#include "platform/posix/AlsaSetup.h"

#include <alsa/asoundlib.h>

namespace hv {

namespace {
void ignoreError(const char*, int, const char*, int, const char*, ...) {}
} // namespace

void AlsaSetup::quietErrors() {
    snd_lib_error_set_handler(&ignoreError);
}

void AlsaSetup::rereadConfiguration() {
    snd_config_update_free_global();
}

} // namespace hv
