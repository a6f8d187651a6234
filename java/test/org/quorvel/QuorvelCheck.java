package org.quorvel;

import java.io.IOException;
import java.io.RandomAccessFile;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.atomic.AtomicReference;

/**
 * Calls the native method from a real JVM. Run with standard output
 * redirected to the file given as the first argument: the native code writes
 * there, and the checks read back what one call printed.
 *
 * <p>Arguments: STDOUT-FILE NETWORK MISSING-FILE TRUNCATED-NETWORK [full [REAL-NETWORK
 * RULES GENES]]. Without "full" only the failure paths are checked (they need no
 * attractor search). With a real network, its output must start with the rule
 * count RULES and the gene count GENES.
 * With the system property quorvel.check.tooLarge naming a network whose result
 * text exceeds the JVM's heap, that analysis must fail and the next succeed.
 * Exit status 0 when every check passed; the findings go to standard error.
 */
public final class QuorvelCheck {
    private static int failures = 0;

    private static void check(boolean ok, String what) {
        System.err.println((ok ? "ok:   " : "FAIL: ") + what);
        if (!ok) {
            failures++;
        }
    }

    private static String printedSince(String stdoutFile, long offset) throws IOException {
        try (RandomAccessFile file = new RandomAccessFile(stdoutFile, "r")) {
            byte[] bytes = new byte[(int) (file.length() - offset)];
            file.seek(offset);
            file.readFully(bytes);
            return new String(bytes, StandardCharsets.UTF_8);
        }
    }

    private static long sizeOf(String stdoutFile) throws IOException {
        try (RandomAccessFile file = new RandomAccessFile(stdoutFile, "r")) {
            return file.length();
        }
    }

    /** A call that must fail with `expected`, whose message holds every one of `inMessage`. */
    private static void expectFailure(Quorvel quorvel, String fileName,
            Class<? extends RuntimeException> expected, String... inMessage) {
        String what = "findSteadyStatesBDD(" + fileName + ") throws " + expected.getSimpleName();
        try {
            String result = quorvel.findSteadyStatesBDD(fileName);
            check(false, what + " (it returned " + result.length() + " characters)");
        } catch (RuntimeException error) {
            boolean ok = expected.isInstance(error);
            String message = String.valueOf(error.getMessage());
            for (String part : inMessage) {
                ok &= message.contains(part);
            }
            check(ok, what + " naming " + Arrays.toString(inMessage) + ": got "
                    + error.getClass().getName() + ": " + message);
        }
    }

    /** findAttractors(fileName, options) must fail with `expected`. */
    private static void expectOptionFailure(Quorvel quorvel, String fileName,
            Class<? extends RuntimeException> expected, String... options) {
        String what = "findAttractors(" + fileName + ", " + Arrays.toString(options) + ") throws "
                + expected.getSimpleName();
        try {
            quorvel.findAttractors(fileName, options);
            check(false, what);
        } catch (RuntimeException error) {
            check(expected.isInstance(error), what + ": got " + error);
        }
    }

    /** A successful call: the text returned must be exactly the text printed last. */
    private static String analyse(Quorvel quorvel, String stdoutFile, String network)
            throws IOException {
        long before = sizeOf(stdoutFile);
        String result = quorvel.findSteadyStatesBDD(network);
        String printed = printedSince(stdoutFile, before);
        check(result != null && result.endsWith("\n"), "result text ends with a line end");
        check(printed.startsWith("\nparsing network file\n"),
                "output starts with an empty line and \"parsing network file\"");
        check(result != null && printed.endsWith(result),
                "the text returned is the text printed at the end of the output");
        return result;
    }

    /**
     * The result text with the order of attractors and of states within one
     * attractor made canonical (that order follows the BDD package's picks).
     */
    static String canonical(String result) {
        String[] lines = result.split("\n");
        int nGenes = lines[0].trim().isEmpty() ? 0 : lines[0].trim().split(" +").length;
        List<String> attractors = new ArrayList<>();
        for (int i = 1; i < lines.length; i++) {
            String[] values = lines[i].trim().split(" +");
            List<String> states = new ArrayList<>();
            for (int start = 0; nGenes > 0 && start + nGenes <= values.length; start += nGenes) {
                states.add(String.join("", Arrays.copyOfRange(values, start, start + nGenes)));
            }
            Collections.sort(states);
            attractors.add(String.join(" ", states));
        }
        Collections.sort(attractors);
        return lines[0] + "\n" + String.join("\n", attractors);
    }

    /** canonical(), with the genes put in order of name (formats order them differently). */
    static String canonicalByName(String result) {
        String[] lines = result.split("\n", -1);
        String[] names = lines[0].trim().split(" +");
        Integer[] order = new Integer[names.length];
        for (int g = 0; g < names.length; g++) {
            order[g] = g;
        }
        Arrays.sort(order, (a, b) -> names[a].compareTo(names[b]));
        StringBuilder text = new StringBuilder();
        for (int g : order) {
            text.append(names[g]).append("   ");
        }
        for (int i = 1; i < lines.length; i++) {
            String[] values = lines[i].trim().split(" +");
            text.append("\n");
            for (int start = 0; start + names.length <= values.length; start += names.length) {
                for (int g : order) {
                    text.append(values[start + g]).append("   ");
                }
            }
        }
        return canonical(text.toString());
    }

    /** A cubes text with the attractors, and the cubes of each, in sorted order. */
    static String canonicalCubes(String result) {
        String[] lines = result.split("\n");
        List<String> attractors = new ArrayList<>();
        for (int i = 1; i < lines.length; i++) {
            List<String> items = new ArrayList<>(Arrays.asList(lines[i].trim().split(" +")));
            Collections.sort(items.subList(1, items.size()));
            attractors.add(String.join(" ", items));
        }
        Collections.sort(attractors);
        return lines[0] + "\n" + String.join("\n", attractors);
    }

    /** A JSON result with its attractor objects, and the cubes of each, in sorted order. */
    static String canonicalJson(String result) {
        java.util.regex.Matcher attractor =
                java.util.regex.Pattern.compile("\\{\"states\":[^{}]*\\}").matcher(result);
        List<String> found = new ArrayList<>();
        while (attractor.find()) {
            String one = attractor.group();
            int open = one.indexOf('[');
            List<String> cubes = new ArrayList<>(Arrays.asList(
                    one.substring(open + 1, one.lastIndexOf(']')).split(",")));
            Collections.sort(cubes);
            found.add(one.substring(0, open + 1) + String.join(",", cubes));
        }
        Collections.sort(found);
        return result.replaceAll("\\{\"states\":[^{}]*\\}", "A") + found;
    }

    /** One kind of call of the concurrent mix. */
    private interface call {
        String run(Quorvel quorvel, String network);
    }

    /**
     * 4 threads make 100 calls each, of five kinds in turn (the states text
     * printed and returned; JSON and states with --quiet; cubes and JSON with
     * progress on standard error) on the example networks: every answer must
     * be the one a lone call gives, every printed result whole on standard
     * output, and nothing of the other kinds there.
     */
    private static void concurrentCalls(Quorvel quorvel, String stdoutFile, String examples)
            throws Exception {
        String[] networks = {examples + "/toggle-switch.net", examples + "/ring-oscillator.net",
            examples + "/fixed-input.net"};
        call[] kinds = {
            (q, n) -> canonical(q.findSteadyStatesBDD(n)),
            (q, n) -> canonicalJson(q.findAttractors(n, "--format", "json", "--quiet")),
            (q, n) -> canonicalCubes(q.findAttractors(n, "--format", "cubes")),
            (q, n) -> canonical(q.findAttractors(n, "--quiet")),
            (q, n) -> canonicalJson(q.findAttractors(n, "--format", "json")),
        };
        String[][] expected = new String[kinds.length][networks.length];
        for (int k = 0; k < kinds.length; k++) {
            for (int n = 0; n < networks.length; n++) {
                expected[k][n] = kinds[k].run(quorvel, networks[n]);
            }
        }
        long before = sizeOf(stdoutFile);
        int threads = 4;
        int calls = 100;
        List<String> problems = Collections.synchronizedList(new ArrayList<>());
        List<String> printed = Collections.synchronizedList(new ArrayList<>());
        List<Thread> started = new ArrayList<>();
        for (int t = 0; t < threads; t++) {
            final int thread = t;
            Thread worker = new Thread(() -> {
                for (int c = 0; c < calls; c++) {
                    int k = (thread + c) % kinds.length;
                    int n = (c / kinds.length + thread) % networks.length;
                    try {
                        String answer;
                        if (k == 0) {
                            String text = quorvel.findSteadyStatesBDD(networks[n]);
                            printed.add(text);
                            answer = canonical(text);
                        } else {
                            answer = kinds[k].run(quorvel, networks[n]);
                        }
                        if (!answer.equals(expected[k][n])) {
                            problems.add("kind " + k + " on " + networks[n] + ": " + answer);
                        }
                    } catch (RuntimeException error) {
                        problems.add("kind " + k + " on " + networks[n] + " threw " + error);
                    }
                }
            });
            started.add(worker);
            worker.start();
        }
        for (Thread worker : started) {
            worker.join();
        }
        String out = printedSince(stdoutFile, before);
        check(problems.isEmpty(), threads + " threads x " + calls
                + " mixed calls give the answers of lone calls: " + problems);
        boolean whole = true;
        for (String text : printed) {
            whole &= out.contains(text);
        }
        check(whole && !printed.isEmpty(), "every result of the concurrent findSteadyStatesBDD"
                + " calls is on standard output, whole");
        check(!out.contains("{\"genes\"") && !out.contains(" s: done"),
                "no JSON or cubes call of the mix wrote to standard output, nor its progress");
    }

    public static void main(String[] args) throws Exception {
        String stdoutFile = args[0];
        String network = args[1];
        String missing = args[2];
        String truncated = args[3];
        boolean full = args.length > 4 && args[4].equals("full");
        Quorvel quorvel = new Quorvel();

        try {
            quorvel.findSteadyStatesBDD(null);
            check(false, "findSteadyStatesBDD(null) throws NullPointerException");
        } catch (NullPointerException expected) {
            check(true, "findSteadyStatesBDD(null) throws NullPointerException");
        }
        expectFailure(quorvel, missing, QuorvelException.class, missing);
        expectFailure(quorvel, truncated, QuorvelException.class, truncated, "rule 2");
        expectFailure(quorvel, "bad\0name", IllegalArgumentException.class, "NUL");
        // The JVM and the library are still usable after failures.
        expectFailure(quorvel, missing, QuorvelException.class, missing);

        // findAttractors: options as the console takes them.
        expectOptionFailure(quorvel, network, IllegalArgumentException.class, "--bogus");
        expectOptionFailure(quorvel, network, IllegalArgumentException.class, "--format", "xml");
        expectOptionFailure(quorvel, network, IllegalArgumentException.class, "--fix", "A=2");
        expectOptionFailure(quorvel, network, IllegalArgumentException.class, "--inputs", "on");
        expectOptionFailure(quorvel, network, IllegalArgumentException.class, "--inputs",
                "grouped");
        expectOptionFailure(quorvel, network, IllegalArgumentException.class, "--fix", "NOPE=1");
        expectOptionFailure(quorvel, network, IllegalArgumentException.class, "other.net");
        expectOptionFailure(quorvel, missing, QuorvelException.class, "--format", "json");
        check(quorvel.findAttractors(network, "--help").contains("--format"),
                "findAttractors(--help) returns the help text");
        try {
            quorvel.findAttractors(network, (String) null);
            check(false, "a null option throws NullPointerException");
        } catch (NullPointerException expected) {
            check(true, "a null option throws NullPointerException");
        }

        // An analysis whose result does not fit in the Java heap (the JVM is
        // run with a small -Xmx): a QuorvelException, nothing printed, and
        // the next analysis works.
        String tooLarge = System.getProperty("quorvel.check.tooLarge");
        if (tooLarge != null) {
            long before = sizeOf(stdoutFile);
            expectFailure(quorvel, tooLarge, QuorvelException.class, "memory exhausted",
                    "Java heap");
            check(!printedSince(stdoutFile, before).contains("G18   \n"),
                    "a result that does not fit is not printed either");
            String after = analyse(quorvel, stdoutFile, network);
            check(canonical(after).startsWith("A   B   \n"),
                    "an analysis after memory ran out gives its result");
        }

        if (full) {
            long beforeJson = sizeOf(stdoutFile);
            String json = quorvel.findAttractors(network, "--format", "json", "--quiet");
            check(printedSince(stdoutFile, beforeJson).isEmpty(),
                    "findAttractors with --quiet writes nothing to standard output");
            check(json.startsWith("{\"genes\":[\"A\",\"B\"],\"update\":\"async\"")
                    && json.contains("{\"states\":1,\"cubes\":[\"01\"],\"space\":\"01\"}")
                    && json.contains("{\"states\":1,\"cubes\":[\"10\"],\"space\":\"10\"}"),
                    "findAttractors gives the toggle switch as JSON: " + json);
            String fixed = quorvel.findAttractors(network, "--format", "cubes", "--fix", "A=1",
                    "--quiet");
            check(fixed.equals("A   B   \n1   10   \n"),
                    "findAttractors with --fix A=1 gives the one state 10: " + fixed);

            String grouped = quorvel.findAttractors(network, "--format", "json", "--inputs",
                    "grouped", "--quiet");
            check(grouped.contains("\"inputs\":[],\"outcomes\":[{\"settings\":[\"\"]")
                    && grouped.contains("{\"states\":1,\"cubes\":[\"01\"],\"space\":\"01\"}"),
                    "findAttractors with --inputs grouped gives one outcome: " + grouped);

            String questions = quorvel.findAttractors(network, "--format", "cubes", "--initial",
                    "A=1,B=0", "--basins", "--phenotypes", "B", "--quiet");
            check(questions.equals("A   B   \n1   10   \ninitial   10   \nmarkers   B   \n"
                    + "attractor   1   phenotype   0   weak   3   strong   1   \nphenotype   0   1   \n"),
                    "findAttractors passes the questions on: " + questions);

            String first = analyse(quorvel, stdoutFile, network);
            expectFailure(quorvel, missing, QuorvelException.class, missing);
            String second = analyse(quorvel, stdoutFile, network);
            check(canonical(first).equals(canonical(second)),
                    "a second call after a failure gives the same attractors");

            // Two threads at once: the analyses are serialised, not mixed up.
            AtomicReference<String> fromThread = new AtomicReference<>();
            AtomicReference<Throwable> threadError = new AtomicReference<>();
            Thread other = new Thread(() -> {
                try {
                    fromThread.set(quorvel.findSteadyStatesBDD(network));
                } catch (Throwable error) {
                    threadError.set(error);
                }
            });
            other.start();
            String third = quorvel.findSteadyStatesBDD(network);
            other.join();
            check(threadError.get() == null, "a concurrent call succeeds: " + threadError.get());
            check(canonical(first).equals(canonical(third))
                    && fromThread.get() != null
                    && canonical(first).equals(canonical(fromThread.get())),
                    "two concurrent calls give the same attractors as a lone call");
            System.err.println("result text:\n" + first);

            // The example networks next to NETWORK, with their attractors in
            // canonical form: steady states and cyclic attractors alike.
            String examples = new java.io.File(network).getAbsoluteFile().getParent();
            String[][] expectedExamples = {
                {"toggle-switch.net", "A   B   \n01\n10"},
                {"ring-oscillator.net", "A   C   B   \n001 010 011 100 101 110"},
                {"fixed-input.net", "A   S   B   C   \n1000 1001 1010 1011"},
            };
            for (String[] example : expectedExamples) {
                String path = examples + "/" + example[0];
                if (!new java.io.File(path).exists()) {
                    continue;
                }
                String text = analyse(quorvel, stdoutFile, path);
                check(canonical(text).equals(example[1]), example[0] + " gives its attractors: got "
                        + canonical(text).replace("\n", " | "));
            }

            concurrentCalls(quorvel, stdoutFile, examples);

            // The .bnet and SBML-qual forms of the toggle switch, written next
            // to the standard output file, and a .bnet file with an error.
            String work = new java.io.File(stdoutFile).getAbsoluteFile().getParent();
            for (String form : new String[] {"toggle.bnet", "toggle.sbml"}) {
                String text = analyse(quorvel, stdoutFile, work + "/" + form);
                check(canonical(text).equals("A   B   \n01\n10"), form + " gives the toggle switch's attractors: got "
                        + canonical(text).replace("\n", " | "));
            }
            expectFailure(quorvel, work + "/bad.bnet", QuorvelException.class, work + "/bad.bnet",
                    "line 2", "expected");

            if (args.length > 7) {
                // The published model in its other two formats: the same attractors.
                String reference = canonicalByName(analyse(quorvel, stdoutFile, args[5]));
                String[][] forms = {{"/bnet/", ".bnet"}, {"/sbml/", ".sbml"}};
                for (String[] form : forms) {
                    String path = args[5].replace("/models/", form[0]).replaceAll("\\.net$", form[1]);
                    if (!new java.io.File(path).exists()) {
                        continue;
                    }
                    check(canonicalByName(analyse(quorvel, stdoutFile, path)).equals(reference),
                            path + " gives the attractors of " + args[5]);
                }

                long before = sizeOf(stdoutFile);
                analyse(quorvel, stdoutFile, args[5]);
                String expected = "\nparsing network file\n" + args[6] + "\nsize of geneDb is  "
                        + args[7] + "\n";
                check(printedSince(stdoutFile, before).startsWith(expected),
                        args[5] + ": output starts with " + expected.replace("\n", "|"));
            }
        }
        System.err.println(failures == 0 ? "all checks passed" : failures + " check(s) failed");
        System.exit(failures == 0 ? 0 : 1);
    }
}
