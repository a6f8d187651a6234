package org.quorvel;

/** A failed analysis: an unreadable or invalid network file, or an engine failure. */
public class QuorvelException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    public QuorvelException(String message) {
        super(message);
    }
}
