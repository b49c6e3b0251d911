#include "vrndll/output/ShellLoadScript.h"

#include "vrndll/output/LoadScriptDatabase.h"

std::string ShellQuote(const std::string &text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string ShellScriptHeader(const std::string &database) {
    std::string text =
        "#!/bin/sh\n"
        "# Recovered database processing script: loads the scripts of this folder\n"
        "# into a server with isql, in the order they were written.\n"
        "# usage: sh commit.sh DIR SERVER USER [PASSWORD]\n"
        "#   DIR: folder holding isql; ISQL_FLAGS: more isql arguments (optional)\n"
        "#   the password: PASSWORD, else the variable ISQL_PASSWORD, else asked for;\n"
        "#   it reaches isql on its standard input, never on its command line\n"
        "if [ $# -lt 3 ] || [ $# -gt 4 ] || [ ! -x \"$1/isql\" ]; then\n"
        "    echo 'usage: sh commit.sh DIR SERVER USER [PASSWORD] (DIR: the folder holding isql)' >&2\n"
        "    exit 2\n"
        "fi\n"
        "ISQL=\"$1/isql\"\n"
        "SERVER=$2\n"
        "LOGIN=$3\n"
        "if [ $# -eq 4 ]; then\n"
        "    PASSWORD=$4\n"
        "elif [ \"${ISQL_PASSWORD+set}\" = set ]; then\n"
        "    PASSWORD=$ISQL_PASSWORD\n"
        "else\n"
        "    printf 'Password: ' >&2\n"
        "    stty -echo 2>/dev/null\n"
        "    IFS= read -r PASSWORD\n"
        "    stty echo 2>/dev/null\n"
        "    echo >&2\n"
        "fi\n"
        "DATABASE=" +
        ShellQuote(database) + "\n";
    if (!DatabaseNamePassable(database))
        text += "echo 'commit.sh: the name of this database cannot be passed to isql safely (see the recovery "
                "summary); load the scripts by hand with isql -D and its name' >&2\n"
                "exit 1\n";
    text += "cd \"$(dirname \"$0\")\" || exit 1\n"
            "load() {\n"
            "    # shellcheck disable=SC2086\n"
            "    if ! printf '%s\\n' \"$PASSWORD\" | \"$ISQL\" -S \"$SERVER\" -U \"$LOGIN\" -D \"$DATABASE\" $ISQL_FLAGS -i \"$1\"; then\n"
            "        echo \"commit.sh: loading $1 failed; stopped there\" >&2\n"
            "        exit 1\n"
            "    fi\n"
            "}\n";
    return text;
}

std::string ShellScriptLine(const std::string &script_file) { return "load " + ShellQuote(script_file) + "\n"; }

std::string ShellScriptTrailer(bool any) {
    return any ? "echo 'commit.sh: every script loaded'\n" : "echo 'commit.sh: nothing to load in this database'\n";
}
