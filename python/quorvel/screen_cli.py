"""python3 -m quorvel.screen_cli MODEL --single|--double ...: the console
entry quorvel-screen (see quorvel.screening.main)."""
import sys

from quorvel.screening import main

if __name__ == "__main__":
    sys.exit(main())
