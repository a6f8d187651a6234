// Java native entry point. (Filled in by the entry-point work.)
#include <jni.h>
