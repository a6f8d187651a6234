package org.quorvel;

import java.io.File;

/**
 * Attractors of a Boolean gene-regulatory network under asynchronous update,
 * computed by the native library libquorvel.so.
 *
 * <p>The library is loaded when this class is initialised. If the system
 * property {@code quorvel.library} is set, it is the path of the library file
 * (for example {@code -Dquorvel.library=/path/to/build/libquorvel.so}); a
 * relative path is taken from the working directory. Otherwise the library is
 * looked up as {@code quorvel} on {@code java.library.path} (for example
 * {@code -Djava.library.path=/path/to/build}).
 *
 * <p>SBML files are read by the library {@code libquorvel_sbml.so}, which
 * {@code libquorvel.so} loads from its own directory the first time an SBML
 * file is read.
 *
 * <p>Calls from several threads are independent: the analyses run one at a
 * time, and each call writes its progress lines and its result where its own
 * options say, whatever the other threads ask for.
 */
public class Quorvel {
    /** System property naming the library file to load instead of searching java.library.path. */
    public static final String LIBRARY_PROPERTY = "quorvel.library";

    static {
        String path = System.getProperty(LIBRARY_PROPERTY);
        if (path != null && !path.isEmpty()) {
            System.load(new File(path).getAbsolutePath());
        } else {
            System.loadLibrary("quorvel");
        }
    }

    /**
     * Analyses the network file {@code fileName} and returns the result text:
     * a line with every gene's name, then one line per attractor. The progress
     * lines and the result text are also written to the process's standard
     * output (by native code, not through {@link System#out}).
     *
     * @throws NullPointerException if {@code fileName} is null
     * @throws IllegalArgumentException if {@code fileName} holds a NUL character
     * @throws QuorvelException if the file cannot be read, is not a valid
     *     network, or the analysis fails; the message says why
     */
    public native String findSteadyStatesBDD(String fileName);

    /**
     * Analyses the network file {@code fileName} with the console program's
     * options and returns the result in the chosen format, for example
     * {@code findAttractors("net.txt", "--format", "json", "--update", "sync",
     * "--fix", "A=0")}, or with the modeller's questions, for example
     * {@code findAttractors("net.txt", "--format", "json", "--initial", "A=1,B=0",
     * "--basins", "--phenotypes", "C")} or {@code "--trap-spaces", "min"} (see
     * the README). With {@code "--help"} or {@code "--version"} it returns
     * that text instead. The result is not written to standard output; the
     * progress lines go where the console program sends them (standard output
     * for the {@code states} format, standard error for {@code cubes} and
     * {@code json}, nowhere with {@code "--quiet"}).
     *
     * @throws NullPointerException if {@code fileName}, the options array or an option is null
     * @throws IllegalArgumentException for an unknown option, a bad value, a
     *     file name among the options, a fixed gene the network does not have,
     *     or a file name holding a NUL character
     * @throws QuorvelException if the file cannot be read, is not a valid
     *     network, or the analysis fails; the message says why
     */
    public native String findAttractors(String fileName, String... options);
}
