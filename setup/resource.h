// Resources of the launcher, shared by its resource script and the host build.
#pragma once
#define SETUP_TITLE "SETUP"
#define IDI_SETUP 1
