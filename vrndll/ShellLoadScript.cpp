#include "vrndll/ShellLoadScript.h"

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
    return "#!/bin/sh\n"
           "# Recovered database processing script: loads the scripts of this folder\n"
           "# into a server with isql, in the order they were written.\n"
           "# usage: sh commit.sh DIR SERVER USER PASSWORD\n"
           "#   DIR: folder holding isql; ISQL_FLAGS: more isql arguments (optional)\n"
           "if [ $# -ne 4 ] || [ ! -x \"$1/isql\" ]; then\n"
           "    echo 'usage: sh commit.sh DIR SERVER USER PASSWORD (DIR: the folder holding isql)' >&2\n"
           "    exit 2\n"
           "fi\n"
           "ISQL=\"$1/isql\"\n"
           "SERVER=$2\n"
           "LOGIN=$3\n"
           "PASSWORD=$4\n"
           "DATABASE=" +
           ShellQuote(database) +
           "\n"
           "cd \"$(dirname \"$0\")\" || exit 1\n"
           "load() {\n"
           "    # shellcheck disable=SC2086\n"
           "    if ! \"$ISQL\" -S \"$SERVER\" -U \"$LOGIN\" -D \"$DATABASE\" -P \"$PASSWORD\" $ISQL_FLAGS -i \"$1\"; then\n"
           "        echo \"commit.sh: loading $1 failed; stopped there\" >&2\n"
           "        exit 1\n"
           "    fi\n"
           "}\n";
}

std::string ShellScriptLine(const std::string &script_file) { return "load " + ShellQuote(script_file) + "\n"; }

std::string ShellScriptTrailer() { return "echo 'commit.sh: every script loaded'\n"; }
