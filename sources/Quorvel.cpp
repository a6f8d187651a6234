// Java native entry point: org.quorvel.Quorvel.findSteadyStatesBDD.
//
// Strings cross the boundary as standard UTF-8 through java.lang.String's
// own conversions (getBytes / new String(byte[], charset)) rather than JNI's
// modified UTF-8: a file name or gene name outside the Basic Multilingual
// Plane then reaches the file system, and comes back to Java, unchanged, and
// bytes that are not UTF-8 become U+FFFD instead of undefined behaviour.
#include <jni.h>

#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "analysisOptions.h"
#include "parseNetwork.h"
#include "progressSink.h"
#include "quorvelError.h"
#include "readNetworkText.h"

namespace {

// Raised when a JNI call left a Java exception pending; the native method
// then returns at once and the JVM delivers that exception.
struct javaExceptionPending {};

void checkJava(JNIEnv* env) {
    if (env->ExceptionCheck()) throw javaExceptionPending{};
}

// Throws `className` (an unchecked Java exception) with `message` in the JVM.
void throwJava(JNIEnv* env, const char* className, const std::string& message) {
    if (env->ExceptionCheck()) return;  // keep the exception that is already pending
    jclass cls = env->FindClass(className);
    if (cls == nullptr) {
        env->ExceptionClear();
        cls = env->FindClass("java/lang/RuntimeException");
        if (cls == nullptr) return;  // FindClass left its own error pending
    }
    env->ThrowNew(cls, message.c_str());
    env->DeleteLocalRef(cls);
}

jstring utf8Charset(JNIEnv* env) {
    jstring name = env->NewStringUTF("UTF-8");
    checkJava(env);
    return name;
}

// The bytes of `text` encoded as UTF-8 (String.getBytes("UTF-8")).
std::string toUtf8(JNIEnv* env, jstring text) {
    jclass stringClass = env->GetObjectClass(text);
    jmethodID getBytes = env->GetMethodID(stringClass, "getBytes", "(Ljava/lang/String;)[B");
    env->DeleteLocalRef(stringClass);
    checkJava(env);
    jstring charset = utf8Charset(env);
    auto bytes = static_cast<jbyteArray>(env->CallObjectMethod(text, getBytes, charset));
    env->DeleteLocalRef(charset);
    checkJava(env);
    std::string result(static_cast<std::size_t>(env->GetArrayLength(bytes)), '\0');
    env->GetByteArrayRegion(bytes, 0, static_cast<jsize>(result.size()),
                            reinterpret_cast<jbyte*>(result.data()));
    env->DeleteLocalRef(bytes);
    checkJava(env);
    return result;
}

// A Java string decoded from the UTF-8 bytes of `text`
// (new String(bytes, "UTF-8")).
jstring fromUtf8(JNIEnv* env, const std::string& text) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX))
        throw quorvelError("the result text is too long for a Java string");
    const auto length = static_cast<jsize>(text.size());
    // A Java heap too small for the text is this analysis's failure, reported
    // as such, not an OutOfMemoryError in the caller's lap.
    const auto heapTooSmall = [&] {
        env->ExceptionClear();
        return quorvelError("memory exhausted: the result text (" + std::to_string(text.size()) +
                            " bytes) does not fit in the Java heap");
    };
    jbyteArray bytes = env->NewByteArray(length);
    if (bytes == nullptr) throw heapTooSmall();
    checkJava(env);
    env->SetByteArrayRegion(bytes, 0, length, reinterpret_cast<const jbyte*>(text.data()));
    checkJava(env);
    jclass stringClass = env->FindClass("java/lang/String");
    checkJava(env);
    jmethodID init = env->GetMethodID(stringClass, "<init>", "([BLjava/lang/String;)V");
    checkJava(env);
    jstring charset = utf8Charset(env);
    auto result = static_cast<jstring>(env->NewObject(stringClass, init, bytes, charset));
    env->DeleteLocalRef(charset);
    env->DeleteLocalRef(stringClass);
    env->DeleteLocalRef(bytes);
    if (result == nullptr) throw heapTooSmall();
    checkJava(env);
    return result;
}

// Called from a catch block: turns the exception in flight into a Java
// exception (none for javaExceptionPending, whose exception the JVM already
// holds): IllegalArgumentException for a bad option, QuorvelException with
// the message for every other failure.
void throwPendingFailure(JNIEnv* env) {
    try {
        throw;
    } catch (const javaExceptionPending&) {
    } catch (const optionError& error) {
        throwJava(env, "java/lang/IllegalArgumentException", error.what());
    } catch (const std::exception& error) {
        throwJava(env, "org/quorvel/QuorvelException", error.what());
    } catch (...) {
        throwJava(env, "org/quorvel/QuorvelException", "quorvel: unknown native failure");
    }
}

}  // namespace

// Runs one analysis of the network file `fileName`, writes the result text to
// standard output and returns it. Every failure becomes a Java exception:
// NullPointerException for a null name, IllegalArgumentException for a name
// that cannot be a path, org.quorvel.QuorvelException (a RuntimeException)
// with the message of the analysis for everything else. The JVM goes on.
extern "C" QUORVEL_EXPORT JNIEXPORT jstring JNICALL
Java_org_quorvel_Quorvel_findSteadyStatesBDD(JNIEnv* env, jobject /*obj*/, jstring fileName) {
    try {
        if (fileName == nullptr) {
            throwJava(env, "java/lang/NullPointerException", "fileName is null");
            return nullptr;
        }
        const std::string file = toUtf8(env, fileName);
        if (file.find('\0') != std::string::npos) {
            throwJava(env, "java/lang/IllegalArgumentException",
                      "the network file name holds a NUL character");
            return nullptr;
        }
        const std::string outStr = topFuncQuorvel(file.c_str());
        // The Java string first: a text that does not fit in the heap is not
        // printed either. The copy on standard output is one whole write
        // (never interleaved with another thread's), checked like the
        // console's.
        const jstring result = fromUtf8(env, outStr);
        if (!writeWhole(std::cout, outStr)) {
            env->DeleteLocalRef(result);
            throw quorvelError("cannot write the result to standard output");
        }
        return result;
    } catch (...) {
        throwPendingFailure(env);
    }
    return nullptr;
}

// Runs one analysis of `fileName` with the console's options (a String[]
// that may be empty) and returns the text of the chosen format; with --help
// or --version, that text instead. The result is not written to standard
// output; progress lines go where the console sends them for these options.
// NullPointerException for a null name, options array or option;
// IllegalArgumentException for a bad option, a file name among the options,
// a fixed gene the network lacks or a name holding NUL;
// org.quorvel.QuorvelException for every failure of the analysis.
extern "C" QUORVEL_EXPORT JNIEXPORT jstring JNICALL Java_org_quorvel_Quorvel_findAttractors(
    JNIEnv* env, jobject /*obj*/, jstring fileName, jobjectArray optionArray) {
    try {
        if (fileName == nullptr || optionArray == nullptr) {
            throwJava(env, "java/lang/NullPointerException",
                      fileName == nullptr ? "fileName is null" : "options is null");
            return nullptr;
        }
        std::vector<std::string> args;
        const jsize count = env->GetArrayLength(optionArray);
        for (jsize k = 0; k < count; ++k) {
            auto option = static_cast<jstring>(env->GetObjectArrayElement(optionArray, k));
            checkJava(env);
            if (option == nullptr) {
                throwJava(env, "java/lang/NullPointerException",
                          "option " + std::to_string(k) + " is null");
                return nullptr;
            }
            args.push_back(toUtf8(env, option));
            env->DeleteLocalRef(option);
        }
        const analysisOptions options = readOptions(args);
        if (options.help) return fromUtf8(env, helpText());
        if (options.version) return fromUtf8(env, versionText());
        if (!options.files.empty())
            throw optionError("unexpected argument '" + printableName(options.files[0]) +
                              "': the network file is the first parameter");
        const std::string file = toUtf8(env, fileName);
        if (file.find('\0') != std::string::npos)
            throw optionError("the network file name holds a NUL character");
        return fromUtf8(env, topFuncQuorvel(file.c_str(), options));
    } catch (...) {
        throwPendingFailure(env);
    }
    return nullptr;
}
