"""The one exception of the synthesis."""


class KirvaError(ValueError):
    """A refusal of the synthesis, with kirva-syn's one-line message: a malformed or out-of-range
    input, a source or receiver the tables do not cover, a file that cannot be read."""
