#pragma once

// What the page builder may ask of any controller behind a page widget. Only
// announceValue does something, and only in a parameter controller: it makes the
// parameter's field widgets show the value it holds now.
class ParamsUIControllerInterface
{
public:
    virtual ~ParamsUIControllerInterface() = default;
    virtual void prepare() {}
    virtual void refresh() {}
    virtual void reset() {}
    virtual void announceValue() = 0;
    virtual void release() {}
};
