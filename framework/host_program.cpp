#include "framework/host_program.h"
#include "framework/app.h"
#include "framework/text.h"
#include <string.h>

static HostProgramState* g_states;
static HostApplication* g_apps;

HostProgramState::HostProgramState(void* o, size_t s, HostConstruct c, HostDestroy d)
    : object(o), size(s), construct(c), destroy(d), next(g_states) {
    g_states = this;
}

HostApplication::HostApplication(const char* n, void* o, size_t s, HostConstruct c, HostDestroy d)
    : name(n), object(o), size(s), construct(c), destroy(d), next(g_apps) {
    g_apps = this;
}

static void Rebuild(void* object, size_t size, HostConstruct construct, HostDestroy destroy) {
    destroy(object);
    memset(object, 0, size);
    construct(object);
}

int HostRunProgram(const char* name) {
    HostApplication* app = g_apps;
    while (app && !EqualNoCase(app->name, name)) app = app->next;
    if (!app) return -1;
    for (HostProgramState* s = g_states; s; s = s->next) Rebuild(s->object, s->size, s->construct, s->destroy);
    Rebuild(app->object, app->size, app->construct, app->destroy); // last, so that it is the application of this run
    return AfxWinMain();
}
