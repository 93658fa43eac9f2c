// hostile
