#include "app/ProfileRelay.h"

#include "app/WellvoxApp.h"

#include <QMetaObject>

void CProfileRelay::PostProfileState(uintptr_t wparam, intptr_t lparam)
{
    CWellvoxApp* app = &m_app;
    QMetaObject::invokeMethod(
        app, [app, wparam, lparam] { app->OnProfileState(wparam, lparam); }, Qt::QueuedConnection);
}

void CProfileRelay::PostProfileStatus(uintptr_t wparam, intptr_t lparam)
{
    CWellvoxApp* app = &m_app;
    QMetaObject::invokeMethod(
        app, [app, wparam, lparam] { app->OnProfileStatus(wparam, lparam); }, Qt::QueuedConnection);
}
