#pragma once
// The program's version, in one place: VERSIONINFO is built from it and the
// window title is read back from VERSIONINFO at run time.

#define CALVORN_VERSION_MAJOR 1
#define CALVORN_VERSION_MINOR 0
#define CALVORN_VERSION_BUILD 0
#define CALVORN_VERSION_REVISION 1

#define CALVORN_STRINGIFY2(x) #x
#define CALVORN_STRINGIFY(x) CALVORN_STRINGIFY2(x)
#define CALVORN_VERSION_TEXT                                                                       \
    CALVORN_STRINGIFY(CALVORN_VERSION_MAJOR)                                                       \
    "." CALVORN_STRINGIFY(CALVORN_VERSION_MINOR) "." CALVORN_STRINGIFY(                            \
        CALVORN_VERSION_BUILD) "." CALVORN_STRINGIFY(CALVORN_VERSION_REVISION)

#define CALVORN_PRODUCT_NAME "Calvorn"
